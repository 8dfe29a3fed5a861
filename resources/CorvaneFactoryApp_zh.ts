<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>CFtpClient</name>
    <message>
        <source>Connect to the FTP server error, please check the internet and retry or contact the IT department...</source>
        <translation type="unfinished"></translation>
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
    <name>CUploadTestData</name>
    <message>
        <source>Connect to DataBase server error, please check the internet and retry or contact the IT department...</source>
        <translation type="unfinished"></translation>
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
        <source>The settings are not available in this build.</source>
        <translation>此版本不提供设置功能。</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>MainWindow</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1213245</source>
        <translation type="unfinished"></translation>
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
        <translation type="unfinished"></translation>
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
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signal(PgUp)</source>
        <translation>信号(PgUp)</translation>
    </message>
    <message>
        <source>...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PgUp</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Calibration(C)</source>
        <translation>校准(C)</translation>
    </message>
    <message>
        <source>PushButton</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>C</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upgrade(U)</source>
        <translation>升级(U)</translation>
    </message>
    <message>
        <source>U</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Menu(S)</source>
        <translation>菜单(S)</translation>
    </message>
    <message>
        <source>S</source>
        <translation type="unfinished"></translation>
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
        <translation type="unfinished"></translation>
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
        <translation>请选择下一步操作！</translation>
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
        <translation>程序将退出！</translation>
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
</context>
<context>
    <name>VeloraCalibrateView</name>
    <message>
        <source>Calibration is not available in this build.</source>
        <translation>此版本不提供校准功能。</translation>
    </message>
</context>
<context>
    <name>VeloraTestView</name>
    <message>
        <source>The signal test is not available in this build.</source>
        <translation>此版本不提供信号测试功能。</translation>
    </message>
</context>
<context>
    <name>VeloraUpgradeView</name>
    <message>
        <source>The firmware upgrade is not available in this build.</source>
        <translation>此版本不提供固件升级功能。</translation>
    </message>
</context>
</TS>
