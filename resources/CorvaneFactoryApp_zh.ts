<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>CCalAdvancedSettingView</name>
    <message>
        <source>The left area is to the right, adjust to the left</source>
        <translation>左侧区域偏右，向左调节</translation>
    </message>
    <message>
        <source>Left area to the left, adjust to the right</source>
        <translation>左侧区域偏左，向右调节</translation>
    </message>
    <message>
        <source>The right area is to the right, adjust to the left</source>
        <translation>右侧区域偏右，向左调节</translation>
    </message>
    <message>
        <source>The right area is to the left, adjust to the right</source>
        <translation>右侧区域偏左，向右调节</translation>
    </message>
    <message>
        <source>The upper area is down, adjust up</source>
        <translation>上方区域偏下，向上调节</translation>
    </message>
    <message>
        <source>The upper area is upward, adjust downward</source>
        <translation>上方区域偏上，向下调节</translation>
    </message>
    <message>
        <source>The lower area is on the upper side, adjust downward</source>
        <translation>下方区域偏上，向下调节</translation>
    </message>
    <message>
        <source>The lower area is down, adjust up</source>
        <translation>下方区域偏下，向上调节</translation>
    </message>
    <message>
        <source>Calibration is complete</source>
        <translation>校准完成</translation>
    </message>
    <message>
        <source>The calibration parameters have been modified, do you want to save the current parameters!</source>
        <translation>校准参数已修改，是否保存当前参数？</translation>
    </message>
</context>
<context>
    <name>CCalFrameCheck</name>
    <message>
        <source>The frame changed while the question was open; the answer was not applied to it</source>
        <translation>提问期间触摸框发生了变化，回答未应用于该触摸框</translation>
    </message>
</context>
<context>
    <name>CFineTuningCalibrateView</name>
    <message>
        <source>Calibration is complete</source>
        <translation>校准完成</translation>
    </message>
    <message>
        <source>Do you want to save the current parameters!</source>
        <translation>是否保存当前参数？</translation>
    </message>
    <message>
        <source>Please long press the dot to calibrate</source>
        <translation>请长按圆点进行校准</translation>
    </message>
</context>
<context>
    <name>CFtpClient</name>
    <message>
        <source>Connect to the FTP server error, please check the internet and retry or contact the IT department...</source>
        <translation>连接FTP服务器出错，请检查网络后重试，或联系IT部门...</translation>
    </message>
</context>
<context>
    <name>CRecordDialog</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
    <message>
        <source>正在录制数据</source>
        <translation>正在录制数据</translation>
    </message>
    <message>
        <source>00:00:00</source>
        <translation>00:00:00</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
</context>
<context>
    <name>CSetUpDialog</name>
    <message>
        <source>Setup Dialog</source>
        <translation>测试设置</translation>
    </message>
    <message>
        <source>Default Configuration</source>
        <translation>默认配置</translation>
    </message>
    <message>
        <source>Default touch enable when open device</source>
        <translation>打开设备时默认启用触摸</translation>
    </message>
    <message>
        <source>Default jump to draw when test pass</source>
        <translation>测试通过后默认跳转到画线测试</translation>
    </message>
    <message>
        <source>Default support realtime test</source>
        <translation>默认支持实时测试</translation>
    </message>
    <message>
        <source>Default support serial number check</source>
        <translation>默认支持序列号校验</translation>
    </message>
    <message>
        <source>Device Support</source>
        <translation>设备支持</translation>
    </message>
    <message>
        <source>Add vid-pid to support(Pid 0xFFFF represents 0x0001~0xFFFF)...</source>
        <translation>添加支持的VID-PID(PID 0xFFFF 代表 0x0001~0xFFFF)...</translation>
    </message>
    <message>
        <source>Vid-Pid:</source>
        <translation>VID-PID：</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>添加</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>删除</translation>
    </message>
    <message>
        <source>Firmware Check</source>
        <translation>固件校验</translation>
    </message>
    <message>
        <source>Product:</source>
        <translation>产品：</translation>
    </message>
    <message>
        <source>CheckSum:</source>
        <translation>校验和：</translation>
    </message>
    <message>
        <source>SN Check</source>
        <translation>序列号校验</translation>
    </message>
    <message>
        <source>SN Number</source>
        <translation>序列号</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>CSetUpForMultiDialog</name>
    <message>
        <source>Dialog</source>
        <translation>画线设置</translation>
    </message>
    <message>
        <source>Grid Width</source>
        <translation>网格宽度</translation>
    </message>
    <message>
        <source>Line Width</source>
        <translation>线宽</translation>
    </message>
    <message>
        <source>Enable Right Button</source>
        <translation>启用右键</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>CSettingsNotStoredBox</name>
    <message>
        <source>The setting was not stored: the settings file cannot be written.</source>
        <translation>设置未保存：无法写入设置文件。</translation>
    </message>
</context>
<context>
    <name>CTouchBase</name>
    <message>
        <source>Some connectors are damaged or not connected properly!</source>
        <translation>连接器失效或连接异常！</translation>
    </message>
    <message>
        <source>Some PCBAs are damaged!</source>
        <translation>PCB损坏！</translation>
    </message>
    <message>
        <source>Some emitters or detectors are damaged!</source>
        <translation>接收或发射灯损坏！</translation>
    </message>
    <message>
        <source>Some emitters or detectors weak, but The possible cause is the deformation of the machine!</source>
        <translation>接收或发射灯信号弱，可能原因为整机形变！</translation>
    </message>
    <message>
        <source>Some emitters or detectors are weak!</source>
        <translation>接收或发射灯信号弱！</translation>
    </message>
</context>
<context>
    <name>CTouchPaintView</name>
    <message>
        <source>Set...</source>
        <translation>显示节点...</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Hide buttons...</source>
        <translation>隐藏按钮...</translation>
    </message>
    <message>
        <source>Print screen...</source>
        <translation>截屏...</translation>
    </message>
    <message>
        <source>Clear screen...</source>
        <translation>清屏...</translation>
    </message>
    <message>
        <source>SetUp</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>清除</translation>
    </message>
</context>
<context>
    <name>CTouchSignalQwtChartView</name>
    <message>
        <source>Standard</source>
        <translation>标准</translation>
    </message>
</context>
<context>
    <name>CTouchSignalView</name>
    <message>
        <source>Show mark...</source>
        <translation>显示标记...</translation>
    </message>
</context>
<context>
    <name>CUploadTestData</name>
    <message>
        <source>Connect to DataBase server error, please check the internet and retry or contact the IT department...</source>
        <translation>连接数据库服务器出错，请检查网络后重试，或联系IT部门...</translation>
    </message>
    <message>
        <source>The database has not yet said whether this test was stored. Retry asks it again and stores nothing twice; Cancel keeps the test log for a later upload.</source>
        <translation>数据库尚未答复本次测试是否已保存。重试将再次询问，不会重复保存；取消则保留测试日志，留待以后上传。</translation>
    </message>
    <message>
        <source>The server description %1 cannot be read, please check the file and retry or contact the IT department...</source>
        <translation>无法读取服务器描述文件 %1，请检查该文件后重试，或联系IT部门...</translation>
    </message>
</context>
<context>
    <name>CalDialog</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
    <message>
        <source>0xffff</source>
        <translation>0xffff</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>重置</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>退出</translation>
    </message>
</context>
<context>
    <name>CalibrateSetUpDialog</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
    <message>
        <source>Output</source>
        <translation>导出</translation>
    </message>
    <message>
        <source>Calibration parameters in the device</source>
        <translation>设备中的校准参数</translation>
    </message>
    <message>
        <source>browse file</source>
        <translation>浏览文件</translation>
    </message>
    <message>
        <source>Calibration parameters in file</source>
        <translation>文件中的校准参数</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>导入</translation>
    </message>
    <message>
        <source>Calibrate SetUp</source>
        <translation>校准设置</translation>
    </message>
    <message>
        <source>calibrate parameter file</source>
        <translation>校准参数文件</translation>
    </message>
    <message>
        <source>Failed to write the calibration parameter file</source>
        <translation>校准参数文件写入失败</translation>
    </message>
    <message>
        <source>Import calibration parameters</source>
        <translation>导入校准参数</translation>
    </message>
    <message>
        <source>Invalid calibration parameter file</source>
        <translation>无效的校准参数文件</translation>
    </message>
    <message>
        <source>Import failed</source>
        <translation>导入失败</translation>
    </message>
    <message>
        <source>Import successful</source>
        <translation>导入成功</translation>
    </message>
</context>
<context>
    <name>FineTuningDialog</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; color:#0000ff;&quot;&gt;Please follow the prompts to calibrate&lt;/span&gt;&lt;/p&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; color:#0000ff;&quot;&gt; and exit and save&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; color:#0000ff;&quot;&gt;请按照提示进行校准&lt;/span&gt;&lt;/p&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; color:#0000ff;&quot;&gt;完成后退出并保存&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>重置</source>
        <translation>重置</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>退出</translation>
    </message>
</context>
<context>
    <name>HandleWork</name>
    <message>
        <source>New device</source>
        <translation>新设备</translation>
    </message>
    <message>
        <source>Touch In Bootloader, Do you want to open it?</source>
        <translation>触摸框处于引导模式，是否打开它？</translation>
    </message>
    <message>
        <source>This series of touch boxes do not support!</source>
        <translation>不支持该系列的触摸框！</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>A new device is discovered, Do you want to open it?</source>
        <translation>发现新设备，是否打开它？</translation>
    </message>
    <message>
        <source>Jump to bootloader</source>
        <translation>跳转到引导程序</translation>
    </message>
    <message>
        <source>Jump bootloader returns exception</source>
        <translation>跳转引导程序返回异常</translation>
    </message>
    <message>
        <source>No device found yet</source>
        <translation>尚未发现设备</translation>
    </message>
    <message>
        <source>Failed to obtain bootloader information:</source>
        <translation>获取引导程序信息失败：</translation>
    </message>
    <message>
        <source>Failed to obtain bootloader information</source>
        <translation>获取引导程序信息失败</translation>
    </message>
    <message>
        <source>Ready to upgrade</source>
        <translation>准备升级</translation>
    </message>
    <message>
        <source>Start the upgrade</source>
        <translation>开始升级</translation>
    </message>
    <message>
        <source>Firmware sent</source>
        <translation>固件已发送</translation>
    </message>
    <message>
        <source>Read data finsih</source>
        <translation>数据读取完成</translation>
    </message>
    <message>
        <source>Firmware path error</source>
        <translation>固件路径错误</translation>
    </message>
    <message>
        <source>Firmware cannot be opened</source>
        <translation>无法打开固件</translation>
    </message>
    <message>
        <source>Upgrade error Nack</source>
        <translation>升级错误：否定应答</translation>
    </message>
    <message>
        <source>Upgrade error Packet</source>
        <translation>升级错误：数据包错误</translation>
    </message>
    <message>
        <source>Transfer timeout</source>
        <translation>传输超时</translation>
    </message>
    <message>
        <source>Device is disconnected</source>
        <translation>设备已断开</translation>
    </message>
    <message>
        <source>Firmware read error</source>
        <translation>固件读取错误</translation>
    </message>
    <message>
        <source>Getting MCU type error</source>
        <translation>获取MCU类型错误</translation>
    </message>
</context>
<context>
    <name>MainSetUpDialog</name>
    <message>
        <source>Dialog</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Touch Format SetUp</source>
        <translation>触摸报点格式设置</translation>
    </message>
    <message>
        <source>USB1 SetUp</source>
        <translation>USB1 设置</translation>
    </message>
    <message>
        <source>MultiTouch</source>
        <translation>多点触摸</translation>
    </message>
    <message>
        <source>SingleTouch</source>
        <translation>单点触摸</translation>
    </message>
    <message>
        <source>MouseTouch</source>
        <translation>鼠标</translation>
    </message>
    <message>
        <source>USB2 SetUp</source>
        <translation>USB2 设置</translation>
    </message>
    <message>
        <source>Default interface selection</source>
        <translation>默认界面选择</translation>
    </message>
    <message>
        <source>Main interface</source>
        <translation>主界面</translation>
    </message>
    <message>
        <source>Signal test interface</source>
        <translation>信号测试界面</translation>
    </message>
    <message>
        <source>Upgrade interface</source>
        <translation>升级界面</translation>
    </message>
    <message>
        <source>Calibration interface</source>
        <translation>校准界面</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>重置</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Set Up</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Failed to get the touch box hair point format...</source>
        <translation>获取触摸框报点格式失败...</translation>
    </message>
    <message>
        <source>The parameter has been modified, are you sure not to save it?</source>
        <translation>参数已修改，确定不保存吗？</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Try Save again.</source>
        <translation>请再次点击“保存”。</translation>
    </message>
    <message>
        <source>The dialog shows the formats the touch box holds.</source>
        <translation>对话框显示的是触摸框当前的报点格式。</translation>
    </message>
    <message>
        <source>The formats the touch box holds could not be read.</source>
        <translation>无法读取触摸框当前的报点格式。</translation>
    </message>
    <message>
        <source>No touch box can be reached now.</source>
        <translation>当前无法访问触摸框。</translation>
    </message>
    <message>
        <source>The touch formats were not sent: the device is busy.</source>
        <translation>触摸报点格式未发送：设备忙。</translation>
    </message>
    <message>
        <source>The touch box did not take the touch formats (error code %1).</source>
        <translation>触摸框未接受报点格式（错误码 %1）。</translation>
    </message>
    <message>
        <source>The touch formats were not sent: a touch box was plugged in meanwhile.</source>
        <translation>报点格式未发送：期间有触摸框接入。</translation>
    </message>
    <message>
        <source>The touch formats were not sent: they could not be read from this touch box.</source>
        <translation>报点格式未发送：无法从此触摸框读取报点格式。</translation>
    </message>
    <message>
        <source>The touch formats were not sent: no touch box is attached.</source>
        <translation>报点格式未发送：未连接触摸框。</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>MainWindow</source>
        <translation>MainWindow</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>TextLabel</translation>
    </message>
    <message>
        <source>1213245</source>
        <translation>1213245</translation>
    </message>
    <message>
        <source>Enable/Disable Touch(F1)</source>
        <translation>启用/禁用触摸(F1)</translation>
    </message>
    <message>
        <source>Enable Touch</source>
        <translation>启用触摸</translation>
    </message>
    <message>
        <source>F1</source>
        <translation>F1</translation>
    </message>
    <message>
        <source>Drawing(F3)</source>
        <translation>画线(F3)</translation>
    </message>
    <message>
        <source>Draw Test</source>
        <translation>画线测试</translation>
    </message>
    <message>
        <source>F3</source>
        <translation>F3</translation>
    </message>
    <message>
        <source>Signal(PgUp)</source>
        <translation>信号(PgUp)</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>PgUp</source>
        <translation>PgUp</translation>
    </message>
    <message>
        <source>Calibration(C)</source>
        <translation>校准(C)</translation>
    </message>
    <message>
        <source>PushButton</source>
        <translation>PushButton</translation>
    </message>
    <message>
        <source>C</source>
        <translation>C</translation>
    </message>
    <message>
        <source>Upgrade(U)</source>
        <translation>升级(U)</translation>
    </message>
    <message>
        <source>U</source>
        <translation>U</translation>
    </message>
    <message>
        <source>Menu(S)</source>
        <translation>菜单(S)</translation>
    </message>
    <message>
        <source>S</source>
        <translation>S</translation>
    </message>
    <message>
        <source>Exit(Esc)</source>
        <translation>退出(Esc)</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Esc</source>
        <translation>Esc</translation>
    </message>
    <message>
        <source>There is no device inserted, Please insert device!</source>
        <translation>没有插入设备，请插入设备！</translation>
    </message>
    <message>
        <source>Touch In App, Now initializing...</source>
        <translation>触摸框处于应用模式，正在初始化...</translation>
    </message>
    <message>
        <source>Touch In Bootloader, Now initializing...</source>
        <translation>触摸框处于引导模式，正在初始化...</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>Please close other subtasks</source>
        <translation>请先关闭其他子任务</translation>
    </message>
    <message>
        <source>Error!</source>
        <translation>错误！</translation>
    </message>
    <message>
        <source>The task &quot;</source>
        <translation>任务“</translation>
    </message>
    <message>
        <source>&quot; timeout, The error code is 0x%1.</source>
        <translation>”超时，错误码为 0x%1。</translation>
    </message>
    <message>
        <source> Please select what you want!</source>
        <translation> 请选择下一步操作！</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>&quot; failed because of a runtime error, The error code is 0x%1.</source>
        <translation>”因运行时错误而失败，错误码为 0x%1。</translation>
    </message>
    <message>
        <source> The applicaiton will exit!</source>
        <translation> 程序将退出！</translation>
    </message>
    <message>
        <source>The device dosn&apos;t support the function &quot;Modify SN code...&quot;...</source>
        <translation>该设备不支持“修改序列号...”功能...</translation>
    </message>
    <message>
        <source>Success!</source>
        <translation>成功！</translation>
    </message>
    <message>
        <source>Modify serial number success and will retest the product...</source>
        <translation>序列号修改成功，将重新测试产品...</translation>
    </message>
    <message>
        <source>The test log cannot be opened, The error code is 0x%1.</source>
        <translation>无法打开测试日志，错误码为 0x%1。</translation>
    </message>
    <message>
        <source>App Information</source>
        <translation>应用信息</translation>
    </message>
    <message>
        <source>Product id</source>
        <translation>产品ID</translation>
    </message>
    <message>
        <source>Boot Information</source>
        <translation>引导信息</translation>
    </message>
    <message>
        <source>Runtimes Information</source>
        <translation>运行环境信息</translation>
    </message>
    <message>
        <source>Ctrl+R</source>
        <translation>Ctrl+R</translation>
    </message>
    <message>
        <source>Ctrl+M</source>
        <translation>Ctrl+M</translation>
    </message>
    <message>
        <source>Up</source>
        <translation>Up</translation>
    </message>
    <message>
        <source>Down</source>
        <translation>Down</translation>
    </message>
    <message>
        <source>The serial number &quot;%1&quot; was sent, but the frame did not tell what it holds (error code 0x%2): whether it was written is unknown.</source>
        <translation>序列号“%1”已发送，但触摸框未告知其中保存的内容（错误码 0x%2）：无法确定是否已写入。</translation>
    </message>
    <message>
        <source>The serial number &quot;%1&quot; was not written: the frame holds no serial number.</source>
        <translation>序列号“%1”未写入：触摸框中没有序列号。</translation>
    </message>
    <message>
        <source>The serial number &quot;%1&quot; was not written as typed: the frame holds &quot;%2&quot;.</source>
        <translation>序列号“%1”未按输入写入：触摸框中保存的是“%2”。</translation>
    </message>
</context>
<context>
    <name>ScanInputDialog</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
    <message>
        <source>SN Template</source>
        <translation>序列号模板</translation>
    </message>
    <message>
        <source>SN Input </source>
        <translation>序列号输入 </translation>
    </message>
    <message>
        <source>Product Serise ID Input</source>
        <translation>产品序列号输入</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>The product serial number is empty, please enter the product serial number</source>
        <translation>产品序列号为空，请输入产品序列号</translation>
    </message>
    <message>
        <source>Product serial numbers do not match</source>
        <translation>产品序列号不匹配</translation>
    </message>
</context>
<context>
    <name>SignalHistogramView</name>
    <message>
        <source>Form</source>
        <translation>信号直方图</translation>
    </message>
</context>
<context>
    <name>UpgradeSetDialog</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
    <message>
        <source>Auto Upgrade SetUp</source>
        <translation>自动升级设置</translation>
    </message>
    <message>
        <source>Enable Auto Upgrade</source>
        <translation>启用自动升级</translation>
    </message>
    <message>
        <source>Enable limited number of upgrades</source>
        <translation>启用升级次数限制</translation>
    </message>
    <message>
        <source>Automatic upgrade times settings</source>
        <translation>自动升级次数设置</translation>
    </message>
    <message>
        <source>Enable Continuous Upgrade</source>
        <translation>启用连续升级</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Upgrade SetUp</source>
        <translation>升级设置</translation>
    </message>
</context>
<context>
    <name>VeloraCalibrateView</name>
    <message>
        <source>TextLabel</source>
        <translation>TextLabel</translation>
    </message>
    <message>
        <source>Four-point calibration</source>
        <translation>四点校准</translation>
    </message>
    <message>
        <source>Fine-tuning calibration</source>
        <translation>微调校准</translation>
    </message>
    <message>
        <source>Manual tuning</source>
        <translation>手动调节</translation>
    </message>
    <message>
        <source>Calibrate</source>
        <translation>校准</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>重置</translation>
    </message>
    <message>
        <source>Enable/Disable Touch(F1)</source>
        <translation>启用/禁用触摸(F1)</translation>
    </message>
    <message>
        <source>Enable Touch</source>
        <translation>启用触摸</translation>
    </message>
    <message>
        <source>F1</source>
        <translation>F1</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>Signal(PgUp)</source>
        <translation>信号(PgUp)</translation>
    </message>
    <message>
        <source>PgUp</source>
        <translation>PgUp</translation>
    </message>
    <message>
        <source>Upgrade(U)</source>
        <translation>升级(U)</translation>
    </message>
    <message>
        <source>PushButton</source>
        <translation>PushButton</translation>
    </message>
    <message>
        <source>U</source>
        <translation>U</translation>
    </message>
    <message>
        <source>SetUp(S)</source>
        <translation>设置(S)</translation>
    </message>
    <message>
        <source>S</source>
        <translation>S</translation>
    </message>
    <message>
        <source>Exit(Esc)</source>
        <translation>退出(Esc)</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Esc</source>
        <translation>Esc</translation>
    </message>
    <message>
        <source>Device is disconnected</source>
        <translation>设备已断开</translation>
    </message>
    <message>
        <source>Reset successful!</source>
        <translation>重置成功！</translation>
    </message>
    <message>
        <source>Reset failed!</source>
        <translation>重置失败！</translation>
    </message>
    <message>
        <source>Calibration complete</source>
        <translation>校准完成</translation>
    </message>
    <message>
        <source>Calibration not saved</source>
        <translation>校准未保存</translation>
    </message>
    <message>
        <source>The calibration deviation is too large, do you want to save the current parameters!</source>
        <translation>校准偏差过大，是否保存当前参数？</translation>
    </message>
    <message>
        <source>Delete Record</source>
        <translation>删除记录</translation>
    </message>
    <message>
        <source>Record keeping</source>
        <translation>保存记录</translation>
    </message>
    <message>
        <source>Save Calibrate Log file</source>
        <translation>保存校准日志文件</translation>
    </message>
    <message>
        <source>Cancel saving log</source>
        <translation>取消保存日志</translation>
    </message>
    <message>
        <source>Failed to generate log file:</source>
        <translation>生成日志文件失败：</translation>
    </message>
    <message>
        <source>Generate log file:</source>
        <translation>生成日志文件：</translation>
    </message>
    <message>
        <source>The touch formats will be given back when the frame returns</source>
        <translation>触摸框重新接入时将恢复其报点格式</translation>
    </message>
    <message>
        <source>The frame has its touch formats back</source>
        <translation>触摸框已恢复其报点格式</translation>
    </message>
    <message>
        <source>The frame&apos;s touch formats could not be read; they will not be given back</source>
        <translation>无法读取触摸框的报点格式，将不会恢复其报点格式</translation>
    </message>
</context>
<context>
    <name>VeloraTestView</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>TextLabel</translation>
    </message>
    <message>
        <source>TouchSignal</source>
        <translation>触摸信号</translation>
    </message>
    <message>
        <source>TouchPannel</source>
        <translation>触摸框</translation>
    </message>
    <message>
        <source>Histogram</source>
        <translation>直方图</translation>
    </message>
    <message>
        <source>T-AGC:</source>
        <translation>T-AGC:</translation>
    </message>
    <message>
        <source>R-AGC:</source>
        <translation>R-AGC:</translation>
    </message>
    <message>
        <source>Enable/Disable Touch(F1)</source>
        <translation>启用/禁用触摸(F1)</translation>
    </message>
    <message>
        <source>Enable Touch</source>
        <translation>启用触摸</translation>
    </message>
    <message>
        <source>F1</source>
        <translation>F1</translation>
    </message>
    <message>
        <source>Drawing(F3)</source>
        <translation>画线(F3)</translation>
    </message>
    <message>
        <source>Draw Test</source>
        <translation>Draw Test</translation>
    </message>
    <message>
        <source>F3</source>
        <translation>F3</translation>
    </message>
    <message>
        <source>Calibration(C)</source>
        <translation>校准(C)</translation>
    </message>
    <message>
        <source>PushButton</source>
        <translation>PushButton</translation>
    </message>
    <message>
        <source>C</source>
        <translation>C</translation>
    </message>
    <message>
        <source>Upgrade(U)</source>
        <translation>升级(U)</translation>
    </message>
    <message>
        <source>U</source>
        <translation>U</translation>
    </message>
    <message>
        <source>Signal(PgUp)</source>
        <translation>信号(PgUp)</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>PgUp</source>
        <translation>PgUp</translation>
    </message>
    <message>
        <source>Touch Frame(PgDn)</source>
        <translation>触摸框(PgDn)</translation>
    </message>
    <message>
        <source>PgDown</source>
        <translation>PgDown</translation>
    </message>
    <message>
        <source>Histogram(H)</source>
        <translation>直方图(H)</translation>
    </message>
    <message>
        <source>H</source>
        <translation>H</translation>
    </message>
    <message>
        <source>Play/Stop(Space)</source>
        <translation>播放/停止(Space)</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>开始</translation>
    </message>
    <message>
        <source>Space</source>
        <translation>Space</translation>
    </message>
    <message>
        <source>Retest(F5)</source>
        <translation>重新测试(F5)</translation>
    </message>
    <message>
        <source>Retest</source>
        <translation>重新测试</translation>
    </message>
    <message>
        <source>F5</source>
        <translation>F5</translation>
    </message>
    <message>
        <source>Menu(M)</source>
        <translation>菜单(M)</translation>
    </message>
    <message>
        <source>M</source>
        <translation>M</translation>
    </message>
    <message>
        <source>Exit(Esc)</source>
        <translation>退出(Esc)</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Esc</source>
        <translation>Esc</translation>
    </message>
    <message>
        <source>There is no device inserted, Please insert device!</source>
        <translation>没有插入设备，请插入设备！</translation>
    </message>
    <message>
        <source>Set...</source>
        <translation>设置...</translation>
    </message>
    <message>
        <source>Print screen...</source>
        <translation>截屏...</translation>
    </message>
    <message>
        <source>Open log file...</source>
        <translation>打开日志文件...</translation>
    </message>
    <message>
        <source>Record Data...</source>
        <translation>录制数据...</translation>
    </message>
    <message>
        <source>Modify SN code...</source>
        <translation>修改序列号...</translation>
    </message>
    <message>
        <source>Speed Up...</source>
        <translation>加速...</translation>
    </message>
    <message>
        <source>Speed Down...</source>
        <translation>减速...</translation>
    </message>
    <message>
        <source>Next Frame...</source>
        <translation>下一帧...</translation>
    </message>
    <message>
        <source>Pre Frame...</source>
        <translation>上一帧...</translation>
    </message>
    <message>
        <source>No Information...</source>
        <translation>无信息...</translation>
    </message>
    <message>
        <source>Unknown...</source>
        <translation>未知...</translation>
    </message>
    <message>
        <source>Device Information:</source>
        <translation>设备信息：</translation>
    </message>
    <message>
        <source>Runtimes Information:</source>
        <translation>运行环境信息：</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>Retesting will clear the data recorded, Do you want to continue?</source>
        <translation>重新测试将清除已录制的数据，是否继续？</translation>
    </message>
    <message>
        <source>A test operation is in progress, please wait for the test to complete!</source>
        <translation>正在测试，请等待测试完成！</translation>
    </message>
    <message>
        <source>Scan serial number...</source>
        <translation>扫描序列号...</translation>
    </message>
    <message>
        <source>Please scan or input product serial number.</source>
        <translation>请扫描或输入产品序列号。</translation>
    </message>
    <message>
        <source>Input serial number...</source>
        <translation>输入序列号...</translation>
    </message>
    <message>
        <source>Please input correct serial number...</source>
        <translation>请输入正确的序列号...</translation>
    </message>
    <message>
        <source>Is the serial number &quot;</source>
        <translation>序列号“</translation>
    </message>
    <message>
        <source>&quot; correct?</source>
        <translation>”是否正确？</translation>
    </message>
    <message>
        <source>Error!</source>
        <translation>Error!</translation>
    </message>
    <message>
        <source>The uart interface of this device should be tested, but the com is lost, Please config it!</source>
        <translation>该设备的串口需要测试，但串口已丢失，请先配置串口！</translation>
    </message>
    <message>
        <source>Touch In Bootloader,Please upgrade the firmware...</source>
        <translation>触摸框处于引导模式，请升级固件...</translation>
    </message>
    <message>
        <source>Now opening and analysising the log file...</source>
        <translation>正在打开并分析日志文件...</translation>
    </message>
    <message>
        <source>A Device is discovered, Now initializing and testing...</source>
        <translation>发现设备，正在初始化并测试...</translation>
    </message>
    <message>
        <source> And you can check the detail problem in the Touch Frame page!</source>
        <translation> 可以在触摸框页面查看具体问题！</translation>
    </message>
    <message>
        <source>The correct serial number is %1.</source>
        <translation>正确的序列号是%1。</translation>
    </message>
    <message>
        <source>The correct checksum is %1.</source>
        <translation>正确的校验和是%1。</translation>
    </message>
    <message>
        <source>The test log cannot be saved to %1.</source>
        <translation>测试日志无法保存到%1。</translation>
    </message>
    <message>
        <source>Please choose another path.</source>
        <translation>请选择其他路径。</translation>
    </message>
    <message>
        <source>Save Log file...</source>
        <translation>保存日志文件...</translation>
    </message>
    <message>
        <source>*.xml</source>
        <translation>*.xml</translation>
    </message>
    <message>
        <source>Open file...</source>
        <translation>打开文件...</translation>
    </message>
    <message>
        <source>Test log: %1</source>
        <translation>测试日志：%1</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>所有文件 (*)</translation>
    </message>
    <message>
        <source>The serial number cannot be written: the frame holds at most %1 characters, this one has %2.</source>
        <translation>无法写入该序列号：触摸框最多保存 %1 个字符，该序列号有 %2 个。</translation>
    </message>
    <message>
        <source>The serial number cannot be written: the frame cannot hold the character &quot;%1&quot;.</source>
        <translation>无法写入该序列号：触摸框无法保存字符“%1”。</translation>
    </message>
    <message>
        <source>The serial number &quot;%1&quot; was not written: no frame is attached.</source>
        <translation>序列号“%1”未写入：没有连接触摸框。</translation>
    </message>
    <message>
        <source>The serial number &quot;%1&quot; was not written: the frame changed while it was entered.</source>
        <translation>序列号“%1”未写入：输入期间触摸框已更换。</translation>
    </message>
    <message>
        <source>The serial number &quot;%1&quot; was not written: the run changed while it was entered.</source>
        <translation>序列号“%1”未写入：输入期间已开始另一次测试。</translation>
    </message>
</context>
<context>
    <name>VeloraUpgradeView</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>TextLabel</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>浏览</translation>
    </message>
    <message>
        <source>Upgrade</source>
        <translation>升级</translation>
    </message>
    <message>
        <source>Enable/Disable Touch(F1)</source>
        <translation>启用/禁用触摸(F1)</translation>
    </message>
    <message>
        <source>Enable Touch</source>
        <translation>启用触摸</translation>
    </message>
    <message>
        <source>F1</source>
        <translation>F1</translation>
    </message>
    <message>
        <source>Signal(PgUp)</source>
        <translation>信号(PgUp)</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>PgUp</source>
        <translation>PgUp</translation>
    </message>
    <message>
        <source>Calibration(C)</source>
        <translation>校准(C)</translation>
    </message>
    <message>
        <source>PushButton</source>
        <translation>PushButton</translation>
    </message>
    <message>
        <source>C</source>
        <translation>C</translation>
    </message>
    <message>
        <source>SetUp(S)</source>
        <translation>设置(S)</translation>
    </message>
    <message>
        <source>S</source>
        <translation>S</translation>
    </message>
    <message>
        <source>Exit(Esc)</source>
        <translation>退出(Esc)</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Esc</source>
        <translation>Esc</translation>
    </message>
    <message>
        <source>Please choose a correct Firmware ......</source>
        <translation>请选择正确的固件......</translation>
    </message>
    <message>
        <source>Please plug and unplug the touch box again, the file is currently open</source>
        <translation>请重新插拔触摸框，当前打开的是测试日志文件</translation>
    </message>
    <message>
        <source>Open file...</source>
        <translation>打开文件...</translation>
    </message>
    <message>
        <source>*.bin</source>
        <translation>*.bin</translation>
    </message>
    <message>
        <source>Please select a valid file!</source>
        <translation>请选择有效的文件！</translation>
    </message>
    <message>
        <source>No firmware selected, please select a valid file</source>
        <translation>未选择固件，请选择有效的文件</translation>
    </message>
    <message>
        <source>Enter upgrade mode</source>
        <translation>进入升级模式</translation>
    </message>
    <message>
        <source>Upgrade canceled</source>
        <translation>升级已取消</translation>
    </message>
    <message>
        <source>Device is disconnected</source>
        <translation>设备已断开</translation>
    </message>
    <message>
        <source>Device is re-enumerating</source>
        <translation>设备正在重新枚举</translation>
    </message>
    <message>
        <source>Upgrade unsuccessful</source>
        <translation>升级失败</translation>
    </message>
    <message>
        <source>Update completed</source>
        <translation>升级完成</translation>
    </message>
    <message>
        <source>No reply for a long time, exit the upgrade</source>
        <translation>长时间无应答，退出升级</translation>
    </message>
    <message>
        <source>Cancel upgrade</source>
        <translation>取消升级</translation>
    </message>
    <message>
        <source>Upgrade in progress, can&apos;t respond to exit!</source>
        <translation>正在升级，无法退出！</translation>
    </message>
    <message>
        <source>Generate log file:</source>
        <translation>生成日志文件：</translation>
    </message>
    <message>
        <source>Failed to generate log file:</source>
        <translation>生成日志文件失败：</translation>
    </message>
    <message>
        <source>The upgrade was cut by the end of the program</source>
        <translation>升级因程序退出而中断</translation>
    </message>
    <message>
        <source>Automatic upgrading stopped, the running upgrade goes on to its end</source>
        <translation>自动升级已停止，当前升级将继续直至结束</translation>
    </message>
</context>
</TS>
