// Every window, dialog, screen and box of the station in the languages the
// operator may see: the real main window over an emulated frame (the station
// rig), each window opened as the operator opens it, each box answered.
//
// - With a translator that marks every (context, source) of the catalogue,
//   every visible text must be marked, data (numbers, paths, the frame's and
//   the station's values), Qt's own text of a standard button, or one of the
//   few texts kept outside the catalogue by design: anything else
//   escapes the catalogue and is listed with its widget's object path.
// - In English and in Chinese, no widget of a limited width clips its text,
//   no table cell cuts the text it shows (however narrow its column), and
//   every page is photographed into the test-output folder "en" or "zh" for
//   review. The signal test shows the verdicts of the emulated frame's
//   profiles, whose texts (light paths, codes) are the longest it shows.
// - Every button and action has the same shortcut in English and Chinese.
//
// The station is walked as the list kPages says: a page drives the station
// to what it shows and calls Look() there; a box is looked at while it is
// open, under the name ExpectBox() gave it. A window added to the station
// joins the walk as a page of the list.

#include "caladvancedsettingview.h"
#include "calworkcustomview.h"
#include "cataloguefile.h"
#include "customersettings.h"
#include "emulatedprofile.h"
#include "finetuningcalibrateview.h"
#include "ftpclient.h"
#include "handlework.h"
#include "mainwindow.h"
#include "modalboxanswerer.h"
#include "recorddialog.h"
#include "scaninputdialog.h"
#include "signalhistogramview.h"
#include "stationinfo.h"
#include "stationclock.h"
#include "stationresources.h"
#include "stationrig.h"
#include "testenvironment.h"
#include "testfirmwareimage.h"
#include "testrecord.h"
#include "toast.h"
#include "toastdlg.h"
#include "touchbase.h"
#include "touchpaintview.h"
#include "touchpanelview.h"
#include "upgradelogfile.h"
#include "uploadtestdata.h"
#include "veloracalibrateview.h"
#include "veloratestview.h"
#include "veloraupgradeview.h"
#include "waitfor.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMutexLocker>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSet>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextDocument>
#include <QTextLayout>
#include <QtMath>
#include <QToolButton>
#include <QTranslator>
#include <QtTest>
#include <qwt_plot.h>
#include <qwt_text_label.h>

#include <functional>
#include <memory>

namespace {

const QChar kMarkOpen(0x27E6);   // ⟦
const QChar kMarkClose(0x27E7);  // ⟧

enum class EMode { English, Chinese, Marked };

// The station's waits, shortened: a 10 s read becomes 200 ms, far above the
// emulated frame's answer time. No wait is shortened below 30 ms (a signal
// frame's chunks keep theirs): scaled to 1 ms they were missed on a loaded
// machine (the sanitizer suite).
constexpr double kClockScale = 0.02;
constexpr int kQuickAnswerFloorMs = 30;

// Returns every text of the catalogue wrapped in the two marks, whatever its
// translation; a text the catalogue does not hold is left to the source.
class CMarkingTranslator : public QTranslator
{
public:
    explicit CMarkingTranslator(const QList<Catalogue::SEntry>& entries)
    {
        for (const Catalogue::SEntry& entry : entries)
            m_keys.insert(entry.context + QLatin1Char('\x1f') + entry.source);
    }

    bool isEmpty() const override { return false; }

    QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
                      int n = -1) const override
    {
        Q_UNUSED(disambiguation);
        Q_UNUSED(n);
        if (!context || !sourceText)
            return QString();
        const QString source = QString::fromUtf8(sourceText);
        if (!m_keys.contains(QString::fromUtf8(context) + QLatin1Char('\x1f') + source))
            return QString();
        return kMarkOpen + source + kMarkClose;
    }

private:
    QSet<QString> m_keys;
};

// Texts kept outside the catalogue by design, shown as written in every
// language: where they may stand ("object path:property", a pattern) and why.
struct SOutsideText
{
    QString text;
    const char* szWhere;
    const char* szWhy;
};

const QList<SOutsideText>& OutsideTexts()
{
    static const QList<SOutsideText> list = {
        // The boxes of the upload have no parent and an untranslated title.
        {QStringLiteral("Error!"), "^QMessageBox:windowTitle$", "the upload boxes' title"},
        // The test view's box of a log it could not save: its title stays
        // English like the upload boxes'.
        {QStringLiteral("Error!"), "/VeloraTestView/QMessageBox:windowTitle$", "the test view's failed-save box title"},
        // The test view's question before it writes a serial number.
        {QStringLiteral("Check serial number again..."), "/VeloraTestView/QMessageBox:windowTitle$",
         "the test view's serial-number question"},
        // The program name and version are the windows' titles.
        {QString::fromLatin1(StationInfo::kAppName) + QString::fromLatin1(StationInfo::kAppVersion),
         "(:windowTitle|/ver_label:text)$", "the program name and version"},
    };
    static const QList<SOutsideText> all = [] {
        QList<SOutsideText> texts = list;
        // The result table's row names and verdicts are the run's own words
        // (the log and the upload carry them as they stand).
        for (const char* szText : {"PASS", "NG", "NG1", "NG2", "NG3", "NG4", "NG5", "Signal Test", "SN Check",
                                   "Firmware Check", "Batch Check", "Com Test", "D-Usb Test"}) {
            const QString text = QString::fromLatin1(szText);
            for (const QString& shown : {text, QStringLiteral("<p>") + text + QStringLiteral("</p>")})
                texts.append({shown, "/testResult\\[\\d+,\\d+\\]:(text|toolTip)$",
                              "the result table's rows and verdicts, the run's own words"});
        }
        return texts;
    }();
    return all;
}

// Qt's own texts: those of the standard buttons (the station relabels none),
// without their mnemonic marks, and the file dialog's filter of its own.
QSet<QString> QtOwnTexts()
{
    QSet<QString> texts;
    texts.insert(QFileDialog::tr("All Files (*)"));
    QDialogButtonBox box;
    for (int n = QDialogButtonBox::FirstButton; n <= QDialogButtonBox::LastButton; n <<= 1) {
        if (QPushButton* pButton = box.addButton(QDialogButtonBox::StandardButton(n)))
            texts.insert(pButton->text().remove(QLatin1Char('&')));
    }
    return texts;
}

template <typename T>
T* Child(QObject* pParent, const char* szName)
{
    return pParent ? pParent->findChild<T*>(QLatin1String(szName)) : nullptr;
}

// "MainWindow/centralwidget/controlwidget/exitToolButton": object names, or
// class names where an object has none.
QString PathOf(const QObject* pObject)
{
    QStringList parts;
    for (const QObject* p = pObject; p; p = p->parent()) {
        const QString name = p->objectName();
        parts.prepend(name.isEmpty() ? QString::fromLatin1(p->metaObject()->className()) : name);
    }
    return parts.join(QLatin1Char('/'));
}

bool HasAncestor(const QWidget* pWidget, const char* szClass)
{
    for (const QWidget* p = pWidget->parentWidget(); p; p = p->parentWidget()) {
        if (p->inherits(szClass))
            return true;
    }
    return false;
}

QString PlainText(const QString& text, Qt::TextFormat format)
{
    if (format == Qt::PlainText || (format == Qt::AutoText && !Qt::mightBeRichText(text)))
        return text;
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
}

// A text shown by a widget: where, which property, what.
struct SText
{
    QString path;
    QString property;
    QString text;
};

class CTextCollector
{
public:
    QList<SText> texts;

    void Window(QWidget* pWindow) { Widget(pWindow); }

private:
    void Add(const QString& path, const char* szProperty, const QString& text)
    {
        if (text.trimmed().isEmpty())
            return;
        const QString key = path + QLatin1Char(':') + QLatin1String(szProperty) + QLatin1Char('=') + text;
        if (m_seen.contains(key))
            return;
        m_seen.insert(key);
        texts << SText{path, QLatin1String(szProperty), text};
    }

    void Action(QAction* pAction)
    {
        if (pAction->isSeparator())
            return;
        const QString path = PathOf(pAction);
        Add(path, "text", pAction->text());
        Add(path, "toolTip", pAction->toolTip());
        Add(path, "statusTip", pAction->statusTip());
        if (pAction->menu()) {
            for (QAction* pSub : pAction->menu()->actions())
                Action(pSub);
        }
    }

    void ItemView(QAbstractItemView* pView, const QString& path)
    {
        QAbstractItemModel* pModel = pView->model();
        if (!pModel)
            return;
        if (auto* pHeader = qobject_cast<QHeaderView*>(pView)) {
            const int nCount = pHeader->count();
            for (int i = 0; i < nCount; ++i)
                Add(path, "header", pModel->headerData(i, pHeader->orientation()).toString());
            return;
        }
        for (int r = 0; r < pModel->rowCount(pView->rootIndex()); ++r) {
            for (int c = 0; c < pModel->columnCount(pView->rootIndex()); ++c) {
                const QModelIndex index = pModel->index(r, c, pView->rootIndex());
                const QString cell = path + QStringLiteral("[%1,%2]").arg(r).arg(c);
                Add(cell, "text", index.data(Qt::DisplayRole).toString());
                Add(cell, "toolTip", index.data(Qt::ToolTipRole).toString());
            }
        }
    }

    void Widget(QWidget* pWidget)
    {
        if (!pWidget->isVisible())
            return;
        const QString path = PathOf(pWidget);
        if (pWidget->isWindow())
            Add(path, "windowTitle", pWidget->windowTitle());
        Add(path, "toolTip", pWidget->toolTip());
        Add(path, "statusTip", pWidget->statusTip());
        Add(path, "whatsThis", pWidget->whatsThis());

        // Qt's own dialog: only what the station gives it.
        if (auto* pFile = qobject_cast<QFileDialog*>(pWidget)) {
            for (const QString& filter : pFile->nameFilters())
                Add(path, "nameFilter", filter);
            return;
        }

        if (auto* pLabel = qobject_cast<QLabel*>(pWidget)) {
            Add(path, "text", PlainText(pLabel->text(), pLabel->textFormat()));
        } else if (auto* pButton = qobject_cast<QAbstractButton*>(pWidget)) {
            Add(path, "text", pButton->text());
        } else if (auto* pGroup = qobject_cast<QGroupBox*>(pWidget)) {
            Add(path, "title", pGroup->title());
        } else if (auto* pEdit = qobject_cast<QLineEdit*>(pWidget)) {
            Add(path, "text", pEdit->text());
            Add(path, "placeholderText", pEdit->placeholderText());
        } else if (auto* pCombo = qobject_cast<QComboBox*>(pWidget)) {
            for (int i = 0; i < pCombo->count(); ++i)
                Add(path, "item", pCombo->itemText(i));
        } else if (auto* pTabs = qobject_cast<QTabBar*>(pWidget)) {
            for (int i = 0; i < pTabs->count(); ++i) {
                Add(path, "tabText", pTabs->tabText(i));
                Add(path, "tabToolTip", pTabs->tabToolTip(i));
            }
        } else if (auto* pView = qobject_cast<QAbstractItemView*>(pWidget)) {
            if (!HasAncestor(pWidget, "QComboBox"))
                ItemView(pView, path);
        } else if (auto* pBar = qobject_cast<QProgressBar*>(pWidget)) {
            if (pBar->isTextVisible())
                Add(path, "text", pBar->text());
        } else if (auto* pSpin = qobject_cast<QSpinBox*>(pWidget)) {
            Add(path, "prefix", pSpin->prefix());
            Add(path, "suffix", pSpin->suffix());
            Add(path, "specialValueText", pSpin->specialValueText());
        } else if (auto* pPlot = qobject_cast<QwtPlot*>(pWidget)) {
            Add(path, "title", pPlot->title().text());
            for (int axis = 0; axis < QwtPlot::axisCnt; ++axis) {
                if (pPlot->axisEnabled(axis))
                    Add(path, "axisTitle", pPlot->axisTitle(axis).text());
            }
        } else if (auto* pQwtLabel = qobject_cast<QwtTextLabel*>(pWidget)) {
            Add(path, "text", pQwtLabel->text().text());
        }

        // Actions: the widget's own, its menu's, and those of the menus it
        // owns (a context menu is walked whether or not it is open).
        for (QAction* pAction : pWidget->actions())
            Action(pAction);
        if (auto* pTool = qobject_cast<QToolButton*>(pWidget)) {
            if (pTool->menu()) {
                for (QAction* pAction : pTool->menu()->actions())
                    Action(pAction);
            }
        }
        for (QMenu* pMenu : pWidget->findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly)) {
            for (QAction* pAction : pMenu->actions())
                Action(pAction);
        }

        for (QObject* pChild : pWidget->children()) {
            auto* pChildWidget = qobject_cast<QWidget*>(pChild);
            if (pChildWidget && !pChildWidget->isWindow())
                Widget(pChildWidget);
        }
    }

    QSet<QString> m_seen;
};

// Whether a word of a text is data: a number, a hexadecimal code, a code of
// letters and digits.
bool IsDataWord(const QString& word)
{
    static const QRegularExpression number(QStringLiteral("^(0[xX])?[0-9A-Fa-f]*[0-9][0-9A-Fa-f]*$"));
    static const QRegularExpression upperHex(QStringLiteral("^(0[xX])?[0-9A-F]{4,}$"));
    static const QRegularExpression prefixedHex(QStringLiteral("^0[xX][0-9A-Fa-f]*$"));
    return number.match(word).hasMatch() || upperHex.match(word).hasMatch() || prefixedHex.match(word).hasMatch();
}

// What is left of a text once the marked pieces, the data given and paths are
// taken out, when that still holds words; empty when the text passes.
QString Unmarked(QString text, const QStringList& data)
{
    static const QRegularExpression marked(QString(kMarkOpen) + QStringLiteral("[^") + kMarkClose
                                           + QStringLiteral("]*") + kMarkClose);
    text.remove(marked);
    static QHash<QString, QRegularExpression> wholeValues;
    for (const QString& value : data) {
        if (value.trimmed().isEmpty())
            continue;
        auto it = wholeValues.find(value);
        if (it == wholeValues.end())
            it = wholeValues.insert(value, QRegularExpression(QStringLiteral("(?<![\\w])")
                                                                  + QRegularExpression::escape(value)
                                                                  + QStringLiteral("(?![\\w])"),
                                                              QRegularExpression::UseUnicodePropertiesOption));
        text.remove(it.value());
    }
    static const QRegularExpression path(QStringLiteral("\\S*/\\S*"));
    text.remove(path);
    // Chinese characters are words too.
    static const QRegularExpression words(QStringLiteral("[\\w]+"), QRegularExpression::UseUnicodePropertiesOption);
    QStringList left;
    auto it = words.globalMatch(text);
    while (it.hasNext()) {
        const QString word = it.next().captured(0);
        bool bLetter = false;
        for (const QChar c : word)
            bLetter = bLetter || c.isLetter();
        if (bLetter && !IsDataWord(word))
            left << word;
    }
    return left.join(QLatin1Char(' '));
}

// Whether a widget, or a widget it sits in within its window, is limited in
// width.
bool LimitedWidth(const QWidget* pWidget)
{
    for (const QWidget* p = pWidget; p; p = p->parentWidget()) {
        if (p->maximumWidth() < QWIDGETSIZE_MAX)
            return true;
        if (p->isWindow())
            break;
    }
    return false;
}

// How a widget of a limited width clips the text it shows ("\"text\" needs
// 96 px of width, has 80"), or empty when the text fits, measured with the
// widget's own font and style.
QString Clipping(QWidget* pWidget)
{
    if (!LimitedWidth(pWidget))
        return QString();
    QString text;
    int nNeed = 0;
    int nHave = pWidget->width();
    bool bHeight = false;
    if (auto* pLabel = qobject_cast<QLabel*>(pWidget)) {
        text = pLabel->text();
        if (!text.isEmpty() && pLabel->pixmap(Qt::ReturnByValue).isNull()) {
            if (pLabel->wordWrap()) {
                bHeight = true;
                nNeed = pLabel->heightForWidth(pLabel->width());
                nHave = pLabel->height();
            } else {
                nNeed = pLabel->sizeHint().width();
            }
        }
    } else if (auto* pButton = qobject_cast<QAbstractButton*>(pWidget)) {
        auto* pTool = qobject_cast<QToolButton*>(pWidget);
        text = pButton->text();
        if (!text.isEmpty() && !(pTool && pTool->toolButtonStyle() == Qt::ToolButtonIconOnly))
            nNeed = pButton->sizeHint().width();
    } else if (auto* pGroup = qobject_cast<QGroupBox*>(pWidget)) {
        text = pGroup->title();
        if (!text.isEmpty())
            nNeed = pGroup->minimumSizeHint().width();
    } else if (auto* pCombo = qobject_cast<QComboBox*>(pWidget)) {
        text = pCombo->currentText();
        if (!text.isEmpty())
            nNeed = pCombo->sizeHint().width();
    }
    if (nNeed <= nHave + 1)
        return QString();
    return QStringLiteral("\"%1\" needs %2 px of %3, has %4")
        .arg(text)
        .arg(nNeed)
        .arg(bHeight ? QStringLiteral("height") : QStringLiteral("width"))
        .arg(nHave);
}

// How the cells of a table cut the texts they show, one line per cell
// ("[3,0] \"BatchInfo:\" needs 48 px of height, has 20"), measured with each
// cell's font: a text wrapped at spaces, or anywhere in a word longer than
// the cell is wide, must fit its cell as the table lays it out, in height
// and in the width the table's viewport shows of it. A table that elides its
// texts, or does not wrap them, cuts what does not fit its lines unbroken.
QStringList CellClipping(QTableView* pTable)
{
    QStringList found;
    QAbstractItemModel* pModel = pTable->model();
    if (!pModel)
        return found;
    const QRect viewport = pTable->viewport()->rect();
    const int nMargin = pTable->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, pTable) + 1;
    QTextOption option;
    option.setWrapMode(!pTable->wordWrap() ? QTextOption::NoWrap
                       : pTable->textElideMode() != Qt::ElideNone ? QTextOption::WordWrap
                                                                   : QTextOption::WrapAtWordBoundaryOrAnywhere);
    const QModelIndex root = pTable->rootIndex();
    for (int r = 0; r < pModel->rowCount(root); ++r) {
        for (int c = 0; c < pModel->columnCount(root); ++c) {
            if (pTable->isRowHidden(r) || pTable->isColumnHidden(c))
                continue;
            const QModelIndex index = pModel->index(r, c, root);
            const QString text = index.data(Qt::DisplayRole).toString();
            const QRect cell = pTable->visualRect(index);
            if (text.isEmpty() || cell.isEmpty())
                continue;
            const QVariant fontData = index.data(Qt::FontRole);
            const QFont font = fontData.isValid() ? qvariant_cast<QFont>(fontData) : pTable->font();
            const qreal dWidth =
                qMin(cell.right(), viewport.right()) - qMax(cell.left(), viewport.left()) + 1 - 2 * nMargin;
            QTextLayout layout(text, font);
            layout.setTextOption(option);
            qreal dHeight = 0;
            qreal dWidest = 0;
            layout.beginLayout();
            for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
                line.setLineWidth(qMax<qreal>(dWidth, 1));
                line.setPosition(QPointF(0, dHeight));
                dHeight += line.height();
                dWidest = qMax(dWidest, line.naturalTextWidth());
            }
            layout.endLayout();
            const QString at = QStringLiteral("[%1,%2] \"%3\" needs ").arg(r).arg(c).arg(text);
            if (qCeil(dWidest) > dWidth + 1)
                found << at + QStringLiteral("%1 px of width, has %2").arg(qCeil(dWidest)).arg(int(dWidth));
            else if (qCeil(dHeight) > cell.height() + 1)
                found << at + QStringLiteral("%1 px of height, has %2").arg(qCeil(dHeight)).arg(cell.height());
        }
    }
    return found;
}

QStringList TableColumn(QTableWidget* pTable, int nColumn)
{
    QStringList rows;
    for (int r = 0; pTable && r < pTable->rowCount(); ++r)
        rows << (pTable->item(r, nColumn) ? pTable->item(r, nColumn)->text() : QString());
    return rows;
}

class CStation;

// Looks at the toast each time it shows (it hides again by itself).
class CToastWatch : public QObject
{
public:
    explicit CToastWatch(CStation* pStation);
    ~CToastWatch() override;
    int nShown = 0;

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    CStation* m_pStation;
};

// The station of one walk: the real main window over an emulated frame, in
// one language, and what the walk found.
class CStation
{
public:
    explicit CStation(EMode eMode, const QList<Catalogue::SEntry>& entries)
        : mode(eMode)
    {
        CTestEnvironment::FastClock(kClockScale);
        CStationClock::SetTimeoutFloor(kQuickAnswerFloorMs);
        CCustomerSettings::GetInstance()->clear();
        workDir = std::make_unique<CScopedWorkDir>();
        CUpgradeLogFile::SetProgramDir(workDir->Path());
        if (mode == EMode::Chinese) {
            auto pTranslator = std::make_unique<QTranslator>();
            if (pTranslator->load(QStringLiteral(":/Language/CorvaneFactoryApp_zh.qm")))
                translator = std::move(pTranslator);
            else
                problems << QStringLiteral("the Chinese catalogue cannot be loaded");
        } else if (mode == EMode::Marked) {
            translator = std::make_unique<CMarkingTranslator>(entries);
        }
        if (translator)
            QCoreApplication::installTranslator(translator.get());
        CToast::Instance()->Dialog()->hide();
    }

    ~CStation()
    {
        toasts.reset();
        answerer.reset();
        CUploadTestData::SetServiceForTest(nullptr);
        rig.reset();
        CToast::Instance()->Dialog()->hide();
        if (translator)
            QCoreApplication::removeTranslator(translator.get());
        CUpgradeLogFile::SetProgramDir(QString());
        workDir.reset();
        CTestEnvironment::RealClock();
    }

    CStation(const CStation&) = delete;
    CStation& operator=(const CStation&) = delete;

    // The main window, a frame not plugged yet.
    bool Start()
    {
        InitStationResources();
        rig = std::make_unique<CStationRig>();
        CStationRig::SFrameOptions options;
        options.bBootloader = true;  // its firmware can be upgraded
        options.nLeaveDelayMs = 4000;
        frame = &rig->AddFrame(options);
        oldFrame = &rig->AddFrame(0x7100);
        window = rig->StartMainWindow();
        work = rig->Work();
        QObject::connect(work, &HandleWork::UpdateDeviceInfo, window,
                         [this](QList<QPair<QString, QString>> lstDev, QList<QPair<QString, QString>> lstApp) {
                             ++nDeviceInfos;
                             for (const auto& pair : lstDev + lstApp)
                                 data << pair.first << pair.second;
                         });
        answerer = std::make_unique<CModalBoxAnswerer>();
        answerer->OnShown([this](const CModalBoxAnswerer::SBox& box) {
            // Other dialogs are looked at by the steps their page gives.
            if (box.kind == CModalBoxAnswerer::EKind::Dialog)
                return;
            const QPair<QString, QStringList> next =
                m_expected.isEmpty() ? qMakePair(QStringLiteral("box"), QStringList()) : m_expected.takeFirst();
            Look(next.first, QApplication::activeModalWidget(), next.second);
        });
        toasts = std::make_unique<CToastWatch>(this);
        return window && work;
    }

    QString Tr(const char* szContext, const char* szSource) const
    {
        return QCoreApplication::translate(szContext, szSource);
    }

    // The next box (message, input or file dialog) is looked at under this name.
    void ExpectBox(const QString& name, const QStringList& values = QStringList())
    {
        m_expected << qMakePair(name, values);
    }
    void ExpectToast(const QString& name) { m_toastName = name; }
    QString ToastName() const { return m_toastName; }

    // The frame arrives and its information is in.
    bool Plug(CStationRig::SFrame* pFrame)
    {
        const int nBefore = nDeviceInfos;
        pFrame->usb->Plug();
        if (!StationTest::WaitFor([this, nBefore] { return nDeviceInfos > nBefore; }, 20000))
            return false;
        rig->Settle();
        for (const auto& pair : work->GetEnvironmentList())
            data << pair.first << pair.second;
        return true;
    }

    // What the operator sees now: walked, measured, photographed.
    void Look(const QString& name, QWidget* pShown, const QStringList& values = QStringList())
    {
        ++nLooks;
        const QString where = page + QLatin1Char('/') + name;
        if (qEnvironmentVariableIsSet("STATION_CATALOGUE_DUMP"))
            qInfo().noquote() << "look:" << where;
        const QList<QWidget*> windows = QApplication::topLevelWidgets();
        if (mode != EMode::Marked)
            CollectShortcuts(windows);
        if (mode == EMode::Marked)
            CheckMarked(where, windows, data + values);
        if (mode != EMode::Marked) {
            for (QWidget* pWindow : windows) {
                if (pWindow->isVisible())
                    CheckClipping(where, pWindow);
            }
            if (pShown) {
                const QString dir =
                    CTestEnvironment::OutputDir() + (mode == EMode::Chinese ? QStringLiteral("/zh") : QStringLiteral("/en"));
                QDir().mkpath(dir);
                const QString file =
                    dir + QStringLiteral("/%1-%2.png").arg(nLooks, 2, 10, QLatin1Char('0')).arg(name);
                if (pShown->grab().save(file))
                    pictures << file;
                else
                    problems << QStringLiteral("%1: the picture %2 was not saved").arg(where, file);
            }
        }
        looked << where;
    }

    // Runs fn, which ends in the event loop's end (QCoreApplication::exit),
    // inside the application's own event loop; false when the loop ended
    // otherwise (the boxes answered, nothing ended it).
    bool RunUntilQuit(const std::function<void()>& fn, int nBoxes)
    {
        const int nBefore = answerer->boxes.size();
        QTimer guard;
        QObject::connect(&guard, &QTimer::timeout, [&] {
            if (answerer->boxes.size() >= nBefore + nBoxes && !QApplication::activeModalWidget())
                QCoreApplication::exit(42);
        });
        guard.start(10);
        QTimer::singleShot(0, fn);
        return QCoreApplication::exec() == 0;
    }

    // Opens a menu as open() does (in a loop of its own, or shown to the
    // event loop), looks at it and closes it without a choice.
    void LookAtMenu(const std::function<void()>& open, const QString& name, const QString& what)
    {
        bool bSeen = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* pMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!pMenu || bSeen)
                return;
            bSeen = true;
            Look(name, pMenu);
            pMenu->hide();
        });
        poll.start(5);
        open();
        if (!bSeen)
            StationTest::WaitFor([&bSeen] { return bSeen; }, 5000);
        if (!bSeen)
            problems << page + QStringLiteral(": no menu opened on ") + what;
    }

    // Opens the widget's context menu as the right mouse button does.
    void LookAtContextMenu(QWidget* pWidget, const QString& name)
    {
        LookAtMenu([pWidget] { emit pWidget->customContextMenuRequested(QPoint(10, 10)); }, name, PathOf(pWidget));
    }

    EMode mode;
    std::unique_ptr<CScopedWorkDir> workDir;
    std::unique_ptr<QTranslator> translator;
    std::unique_ptr<CStationRig> rig;
    std::unique_ptr<CModalBoxAnswerer> answerer;
    std::unique_ptr<CToastWatch> toasts;
    CStationRig::SFrame* frame = nullptr;     // a healthy frame with its bootloader
    CStationRig::SFrame* oldFrame = nullptr;  // application firmware too old for the station
    MainWindow* window = nullptr;
    HandleWork* work = nullptr;
    int nDeviceInfos = 0;

    QString page;
    int nLooks = 0;
    QStringList looked;
    QStringList data;                           // the frame's and the station's values
    QStringList escapes;                        // marked walk
    QStringList clipped;                        // English and Chinese
    QMap<QString, QStringList> shortcuts;       // object path: its shortcuts
    QStringList pictures;
    QStringList problems;

private:
    void CollectShortcuts(const QList<QWidget*>& windows)
    {
        QMap<QString, QStringList> found;
        for (QWidget* pWindow : windows) {
            QList<QObject*> objects;
            objects << pWindow;
            for (QObject* pChild : pWindow->findChildren<QObject*>())
                objects << pChild;
            for (QObject* pObject : objects) {
                QKeySequence key;
                if (auto* pButton = qobject_cast<QAbstractButton*>(pObject))
                    key = pButton->shortcut();
                else if (auto* pAction = qobject_cast<QAction*>(pObject))
                    key = pAction->shortcut();
                else
                    continue;
                found[PathOf(pObject)] << key.toString(QKeySequence::PortableText);
            }
        }
        for (auto it = found.begin(); it != found.end(); ++it) {
            it->sort();
            shortcuts.insert(it.key(), it.value());
        }
    }

    void CheckMarked(const QString& where, const QList<QWidget*>& windows, const QStringList& values)
    {
        static const QSet<QString> qtOwn = QtOwnTexts();
        CTextCollector collector;
        for (QWidget* pWindow : windows) {
            if (pWindow->isVisible())
                collector.Window(pWindow);
        }
        // Longest values first, so that a value holding another goes whole.
        QStringList sorted = values;
        std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
        sorted.removeDuplicates();
        for (const SText& t : qAsConst(collector.texts)) {
            const QString at = t.path + QLatin1Char(':') + t.property;
            if (qtOwn.contains(QString(t.text).remove(QLatin1Char('&'))))
                continue;
            bool bOutside = false;
            for (const SOutsideText& outside : OutsideTexts()) {
                if (t.text == outside.text && QRegularExpression(QLatin1String(outside.szWhere)).match(at).hasMatch())
                    bOutside = true;
            }
            if (bOutside)
                continue;
            const QString left = Unmarked(t.text, sorted);
            if (qEnvironmentVariableIsSet("STATION_CATALOGUE_DUMP"))
                qInfo().noquote() << "text:" << where << at << t.text << (left.isEmpty() ? "ok" : "ESCAPES");
            if (left.isEmpty())
                continue;
            const QString line = QStringLiteral("%1 | %2 | \"%3\" (not in the catalogue: %4)").arg(where, at, t.text, left);
            const QString key = at + QLatin1Char('=') + t.text;
            if (!m_reported.contains(key)) {
                m_reported.insert(key);
                escapes << line;
            }
        }
    }

    void CheckClipping(const QString& where, QWidget* pWidget)
    {
        if (!pWidget->isVisible())
            return;
        QStringList clips{Clipping(pWidget)};
        if (auto* pTable = qobject_cast<QTableView*>(pWidget))
            clips += CellClipping(pTable);
        for (const QString& clip : qAsConst(clips)) {
            if (clip.isEmpty())
                continue;
            const QString key = PathOf(pWidget) + QLatin1Char('=') + clip;
            if (!m_reported.contains(key)) {
                m_reported.insert(key);
                clipped << where + QStringLiteral(" | ") + PathOf(pWidget) + QStringLiteral(" | ") + clip;
            }
        }
        for (QObject* pChild : pWidget->children()) {
            auto* pChildWidget = qobject_cast<QWidget*>(pChild);
            if (pChildWidget && !pChildWidget->isWindow())
                CheckClipping(where, pChildWidget);
        }
    }

    QList<QPair<QString, QStringList>> m_expected;
    QString m_toastName = QStringLiteral("toast");
    QSet<QString> m_reported;
};

CToastWatch::CToastWatch(CStation* pStation)
    : m_pStation(pStation)
{
    CToast::Instance()->Dialog()->installEventFilter(this);
}

CToastWatch::~CToastWatch()
{
    CToast::Instance()->Dialog()->removeEventFilter(this);
}

bool CToastWatch::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pEvent->type() == QEvent::Show) {
        ++nShown;
        m_pStation->Look(m_pStation->ToastName(), static_cast<QWidget*>(pWatched));
    }
    return false;
}

// ---------------------------------------------------------------------------
// The pages

void MainWindowPage(CStation& s)
{
    s.Look(QStringLiteral("main-window-no-device"), s.window);
    QVERIFY(s.Plug(s.frame));
    s.Look(QStringLiteral("main-window"), s.window);
}

void DeviceErrorBoxesPage(CStation& s)
{
    // A time-out (the operation code in bits 16 to 23), answered Cancel.
    s.answerer->Answer(s.Tr("MainWindow", "Cancel"));
    s.ExpectBox(QStringLiteral("device-error-timeout"), {QStringLiteral("ReTest")});
    s.window->ShowErrorMessage(int32_t(0x80030001u), QStringLiteral("ReTest"));

    // A runtime error ends the event loop once confirmed.
    s.answerer->Answer(QString());
    s.ExpectBox(QStringLiteral("device-error-runtime"), {QStringLiteral("InitDeviceInfo")});
    QVERIFY(s.RunUntilQuit([&s] { s.window->ShowErrorMessage(int32_t(0x80000003u), QStringLiteral("InitDeviceInfo")); },
                           1));

    // Writing the serial number: refused, then done (the frame is read anew).
    s.ExpectBox(QStringLiteral("serial-number-refused"));
    s.window->ShowErrorMessage(int32_t(0x80000002u), QStringLiteral("SaveBatchInfo"));
    const int nBefore = s.nDeviceInfos;
    s.ExpectBox(QStringLiteral("serial-number-written"));
    s.window->ShowErrorMessage(0, QStringLiteral("SaveBatchInfo"));
    QVERIFY(StationTest::WaitFor([&s, nBefore] { return s.nDeviceInfos > nBefore; }, 20000));
    s.rig->Settle();
    // Written, but the frame's read-back gives another number (the frame is
    // read anew).
    const int nBeforeNotHeld = s.nDeviceInfos;
    s.ExpectBox(QStringLiteral("serial-number-not-held"), {QStringLiteral("SN-7"), QStringLiteral("SN-")});
    s.window->ShowBatchInfoNotHeld(QStringLiteral("SN-7"), 0, QStringLiteral("SN-"));
    QVERIFY(StationTest::WaitFor([&s, nBeforeNotHeld] { return s.nDeviceInfos > nBeforeNotHeld; }, 20000));
    s.rig->Settle();
}

QPushButton* BoxButton(QDialog* pDialog, QDialogButtonBox::StandardButton eButton)
{
    auto* pBox = Child<QDialogButtonBox>(pDialog, "buttonBox");
    return pBox ? pBox->button(eButton) : nullptr;
}

void SelectTab(QDialog* pDialog, int nIndex)
{
    if (auto* pTabs = pDialog->findChild<QTabWidget*>())
        pTabs->setCurrentIndex(nIndex);
}

void MainSettingsPage(CStation& s)
{
    auto* pButton = Child<QToolButton>(s.window, "lstActionToolButton");
    QVERIFY(pButton);

    // A frame that does not tell its touch formats: a warning, then the
    // dialog; "Exit" says that the formats were not sent and stays, Escape
    // leaves. (The reads it waits out are made short.)
    CStationClock::SetTimeoutScale(kClockScale / 10);
    s.frame->frame.SetFault(0x30, 0x04, CEmulatedFrame::Silent());
    s.answerer->Answer(QString());
    s.ExpectBox(QStringLiteral("settings-formats-unread"));
    s.ExpectBox(QStringLiteral("settings-formats-not-sent"));
    const int nBoxes = s.answerer->boxes.size();
    s.answerer->ScriptDialog({[](QDialog* pDialog) { BoxButton(pDialog, QDialogButtonBox::Cancel)->click(); },
                              [](QDialog* pDialog) { pDialog->reject(); }});
    pButton->click();
    s.frame->frame.ClearFaults();
    CStationClock::SetTimeoutScale(kClockScale);
    QCOMPARE(s.answerer->boxes.size(), nBoxes + 3);

    s.answerer->ScriptDialog({
        [&s](QDialog* pDialog) {
            SelectTab(pDialog, 0);
            s.Look(QStringLiteral("settings-touch-format"), pDialog);
        },
        [&s](QDialog* pDialog) {
            SelectTab(pDialog, 1);
            s.Look(QStringLiteral("settings-default-interface"), pDialog);
        },
        // A changed choice left with "Exit" asks first; "Cancel" stays.
        [&s](QDialog* pDialog) {
            Child<QRadioButton>(pDialog, "siButton")->click();
            s.answerer->Answer(s.Tr("MainSetUpDialog", "Cancel"));
            s.ExpectBox(QStringLiteral("settings-not-saved"));
            BoxButton(pDialog, QDialogButtonBox::Cancel)->click();
        },
        // "Reset", then "Exit" closes.
        [](QDialog* pDialog) {
            BoxButton(pDialog, QDialogButtonBox::No)->click();
            BoxButton(pDialog, QDialogButtonBox::Cancel)->click();
        },
    });
    pButton->click();
    QVERIFY(!s.window->findChild<QDialog*>(QStringLiteral("MainSetUpDialog"))->isVisible());
}

void CalibrationPage(CStation& s)
{
    auto* pView = s.window->findChild<VeloraCalibrateView*>();
    QVERIFY(pView);
    auto* pLog = Child<QTableWidget>(pView, "CalLogTableWidget");
    auto* pCalibrate = Child<QPushButton>(pView, "Btn_Cal_2");
    auto* pMode = Child<QComboBox>(pView, "combox_CalMode_2");
    QVERIFY(pLog && pCalibrate && pMode);

    Child<QToolButton>(s.window, "calToolButton")->click();
    QVERIFY(pView->isVisible());
    QVERIFY(StationTest::WaitFor([pLog] { return pLog->rowCount() >= 2; }));
    QVERIFY(QTest::qWaitForWindowExposed(pView));
    s.Look(QStringLiteral("calibration-view"), pView);

    // The main window refuses to close while a work view is open.
    s.answerer->Answer(QString());
    s.ExpectBox(QStringLiteral("close-refused"));
    s.window->close();
    QVERIFY(s.window->isVisible());

    // Reset, confirmed by the toast.
    s.ExpectToast(QStringLiteral("calibration-reset-toast"));
    int nToasts = s.toasts->nShown;
    QTest::mouseClick(Child<QPushButton>(pView, "Btn_Reset_2"), Qt::LeftButton);
    QVERIFY(StationTest::WaitFor([&s, nToasts] { return s.toasts->nShown > nToasts; }, 20000));
    s.rig->Settle();

    // The log's menu; the log saved into a folder, once cancelled; deleted.
    s.LookAtContextMenu(pLog, QStringLiteral("calibration-log-menu"));
    const QString folder = s.workDir->Path() + QStringLiteral("/calibration logs");
    QVERIFY(QDir().mkpath(folder));
    s.answerer->AnswerFile(folder);
    s.ExpectBox(QStringLiteral("calibration-log-folder"));
    QMenu* pMenu = pView->findChild<QMenu*>();
    QVERIFY(pMenu && pMenu->actions().size() == 2);
    pMenu->actions().at(1)->trigger();
    s.answerer->CancelFile();
    s.ExpectBox(QStringLiteral("calibration-log-folder-cancelled"));
    pMenu->actions().at(1)->trigger();
    s.Look(QStringLiteral("calibration-log-saved"), pView);
    pMenu->actions().at(0)->trigger();
    s.Look(QStringLiteral("calibration-log-deleted"), pView);

    // Four points, each target touched once it shows; the check passes. The
    // count-down runs as at the station.
    CStationClock::SetTimeoutScale(1.0);
    CEmulatedFrame& model = s.frame->frame;
    model.Edit([](CEmulatedFrame::State& st) {
        st.cal.nTouchDelayMs = -1;
        st.cal.nCheckResult = 2;
    });
    model.ClearRequests();
    auto touch = [&s, &model](quint8 nAnswer) {
        QByteArray reply = model.DataReply(0x01, nAnswer);
        if (nAnswer == 0xFF)
            reply[3] = char(2);
        model.Inject(reply);
        s.frame->usb->DeliverInjected();
    };
    pMode->setCurrentIndex(0);
    s.ExpectToast(QStringLiteral("calibration-complete-toast"));
    nToasts = s.toasts->nShown;
    QTest::mouseClick(pCalibrate, Qt::LeftButton);
    auto* pScreen = s.window->findChild<CCalWorkCustomView*>();
    QVERIFY(pScreen && pScreen->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(pScreen));
    for (quint8 n = 0; n <= 5; ++n) {
        QVERIFY(StationTest::WaitFor([&model, n] { return model.RequestsFor(0x01, n).size() == 1; }));
        if (n == 1)
            s.Look(QStringLiteral("calibration-four-point"), pScreen);
        touch(n < 5 ? quint8(n + 1) : quint8(0xFF));
    }
    QVERIFY(StationTest::WaitFor([&s, nToasts] { return s.toasts->nShown > nToasts; }, 30000));
    QVERIFY(StationTest::WaitFor([&s] { return !s.work->IsTaskRunning(QStringLiteral("STEP_END_OK")); }));
    s.rig->Settle();

    // Again, with a deviation too large: the values are kept.
    model.Edit([](CEmulatedFrame::State& st) {
        st.cal.nTouchDelayMs = 20;
        st.cal.nCheckResult = 3;
    });
    s.answerer->Answer(QStringLiteral("Yes"));
    s.ExpectBox(QStringLiteral("calibration-deviation"));
    const int nBoxes = s.answerer->boxes.size();
    QTest::mouseClick(pCalibrate, Qt::LeftButton);
    QVERIFY(StationTest::WaitFor([&s, nBoxes] { return s.answerer->boxes.size() > nBoxes; }, 30000));
    QVERIFY(StationTest::WaitFor([&s] { return !s.work->IsTaskRunning(QStringLiteral("STEP_END_OK")); }));
    s.rig->Settle();
    QVERIFY(StationTest::WaitFor([pScreen] { return !pScreen->isVisible(); }));
    CTestEnvironment::FastClock(kClockScale);
    CStationClock::SetTimeoutFloor(kQuickAnswerFloorMs);

    // The fine-tuning and the manual screens.
    const QList<QWidget*> screens = {s.window->findChild<CFineTuningCalibrateView*>(),
                                     s.window->findChild<CCalAdvancedSettingView*>()};
    for (int nMode = 1; nMode <= 2; ++nMode) {
        QWidget* pShown = screens.at(nMode - 1);
        QVERIFY(pShown);
        pMode->setCurrentIndex(nMode);
        QTest::mouseClick(pCalibrate, Qt::LeftButton);
        QVERIFY(pShown->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(pShown));
        s.Look(nMode == 1 ? QStringLiteral("calibration-fine-tuning") : QStringLiteral("calibration-manual"), pShown);
        pShown->hide();
        s.rig->Settle();
    }

    // The calibration parameters.
    s.answerer->ScriptDialog({[&s](QDialog* pDialog) {
        s.Look(QStringLiteral("calibration-parameters"), pDialog);
        pDialog->reject();
    }});
    Child<QToolButton>(pView, "lstActionToolButton")->click();

    Child<QToolButton>(pView, "exitToolButton")->click();
    QVERIFY(!pView->isVisible());
    s.rig->Settle();
}

// An action of the test view's menu, by its source text.
QAction* MenuAction(CStation& s, VeloraTestView* pView, const char* szSource)
{
    const QString text = s.Tr("VeloraTestView", szSource);
    for (QAction* pAction : pView->ActionMenu()->actions()) {
        if (pAction->text() == text)
            return pAction;
    }
    return nullptr;
}

QPushButton* ButtonWithText(QWidget* pParent, const QString& text)
{
    for (QPushButton* pButton : pParent->findChildren<QPushButton*>()) {
        if (pButton->text() == text)
            return pButton;
    }
    return nullptr;
}

bool NoticeIs(CStation& s, VeloraTestView* pView, const char* szSource)
{
    return pView->NoticeLabel()->isVisible() && pView->NoticeLabel()->text() == s.Tr("VeloraTestView", szSource);
}

// The test view's notices and the boxes of a run, as the frame comes and
// goes: the frame in its bootloader; the frame back, its run on its way
// (where the view refuses to close); a log file being opened (one that is no
// log: the frame's run comes back); a run whose log cannot be filed.
void SignalTestNoticesStep(CStation& s, VeloraTestView* pView)
{
    CCustomerSettings::GetInstance()->SetBool(QStringLiteral("SupportSNCheck"), false);
    s.answerer->Answer(QString());
    auto unplug = [&s] {
        s.frame->usb->Unplug();
        return StationTest::WaitFor([&s] { return s.work->GetUsbPort()->GetDevCount() == 0; });
    };

    // The frame arrives in its bootloader.
    QVERIFY(unplug());
    s.rig->Settle();
    QVERIFY(StationTest::WaitFor(
        [&] { return NoticeIs(s, pView, "There is no device inserted, Please insert device!"); }, 20000));
    s.frame->frame.SetMode(CEmulatedFrame::Mode::Bootloader);
    s.frame->usb->Plug();
    QVERIFY(StationTest::WaitFor(
        [&] { return NoticeIs(s, pView, "Touch In Bootloader,Please upgrade the firmware..."); }, 20000));
    s.rig->Settle();
    s.Look(QStringLiteral("signal-test-bootloader"), pView);
    QVERIFY(unplug());
    s.rig->Settle();
    s.frame->frame.SetMode(CEmulatedFrame::Mode::Application);

    // The frame back. Its run is looked at from a queued call of its start,
    // which comes before its result does.
    bool bRunSeen = false;
    int nBoxes = s.answerer->boxes.size();
    QObject watch;  // the watch ends with this step, whatever its end
    QObject::connect(
        pView, &VeloraTestView::emitSignalTestStatus, &watch,
        [&](bool bRunning) {
            if (!bRunning || bRunSeen)
                return;
            bRunSeen = true;
            if (!NoticeIs(s, pView, "A Device is discovered, Now initializing and testing...")
                || !pView->IsTestRunning()) {
                s.problems << s.page + QStringLiteral(": the run's notice was not shown");
                return;
            }
            s.Look(QStringLiteral("signal-test-testing"), pView);
            s.ExpectBox(QStringLiteral("signal-test-close-while-testing"));
            pView->close();
        },
        Qt::QueuedConnection);
    QVERIFY(s.Plug(s.frame));
    QVERIFY(StationTest::WaitFor([&] { return bRunSeen && !pView->IsTestRunning(); }, 20000));
    s.rig->Settle();
    QObject::disconnect(pView, nullptr, &watch, nullptr);
    QVERIFY(pView->isVisible());
    QCOMPARE(s.answerer->boxes.size(), nBoxes + 1);
    QCOMPARE(s.answerer->boxes.last().text,
             s.Tr("VeloraTestView", "A test operation is in progress, please wait for the test to complete!"));

    // "Open log file...": a file that is no log. The station says so, and
    // the frame's run comes back.
    const QString notALog = s.workDir->Path() + QStringLiteral("/not-a-log.xml");
    {
        QFile file(notALog);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<not a log");
    }
    QAction* pOpen = MenuAction(s, pView, "Open log file...");
    QVERIFY(pOpen);
    s.answerer->AnswerFile(notALog);
    s.ExpectBox(QStringLiteral("signal-test-open-log"));
    nBoxes = s.answerer->boxes.size();
    pOpen->trigger();
    QCOMPARE(s.answerer->boxes.size(), nBoxes + 1);
    QVERIFY(NoticeIs(s, pView, "Now opening and analysising the log file..."));
    s.Look(QStringLiteral("signal-test-opening-log"), pView);
    s.answerer->CancelFile();
    s.ExpectBox(QStringLiteral("signal-test-log-unreadable"));
    QVERIFY(StationTest::WaitFor([&] { return s.answerer->boxes.size() > nBoxes + 1; }, 20000));
    QVERIFY(StationTest::WaitFor(
        [&] { return !pView->NoticeLabel()->isVisible() && !pView->IsTestRunning(); }, 20000));
    s.rig->Settle();
    QCOMPARE(s.work->GetDeviceKind(), HandleWork::DeviceKind::Live);
    QCOMPARE(s.answerer->boxes.size(), nBoxes + 2);

    // The frame once more, its log's folder "Data" a file: the log of its
    // run cannot be filed.
    QVERIFY(unplug());
    s.rig->Settle();
    {
        QFile obstacle(QStringLiteral("Data"));
        if (QFileInfo(obstacle).isDir())
            QVERIFY(QDir(QStringLiteral("Data")).removeRecursively());
        QVERIFY(obstacle.open(QIODevice::WriteOnly));
        obstacle.write("not a folder");
    }
    s.ExpectBox(QStringLiteral("signal-test-log-not-saved"));
    nBoxes = s.answerer->boxes.size();
    QVERIFY(s.Plug(s.frame));
    QVERIFY(StationTest::WaitFor([&] { return s.answerer->boxes.size() > nBoxes; }, 20000));
    s.rig->Settle();
    QCOMPARE(s.answerer->boxes.size(), nBoxes + 1);
    // The failed save's title stays English in every language.
    const CModalBoxAnswerer::SBox& box = s.answerer->boxes.last();
    QCOMPARE(box.title, QStringLiteral("Error!"));
    QVERIFY2(box.text.contains(QDir::currentPath() + QStringLiteral("/Data/")), qPrintable(box.text));
    QVERIFY(QFile::remove(QStringLiteral("Data")));
}

// The verdicts of the emulated frame's profiles that fail the signal test,
// each on a frame of its own in place of the healthy one: their light paths
// and codes are the longest texts the result table shows. The healthy frame
// is back at the end, its run done.
void SignalTestVerdictsStep(CStation& s, VeloraTestView* pView)
{
    CCustomerSettings::GetInstance()->SetBool(QStringLiteral("SupportSNCheck"), false);
    auto* pTable = Child<QTableWidget>(pView, "testResult");
    QVERIFY(pTable);
    auto unplug = [&s](CStationRig::SFrame* pFrame) {
        pFrame->usb->Unplug();
        return StationTest::WaitFor([&s] { return s.work->GetUsbPort()->GetDevCount() == 0; });
    };
    auto judged = [&] {
        return !pView->IsTestRunning() && pTable->columnCount() == 2 && pTable->item(0, 0)
               && !pTable->item(0, 0)->text().isEmpty();
    };
    QVERIFY(unplug(s.frame));
    s.rig->Settle();
    for (const QString& profile : CEmulatedProfile::Names()) {
        if (!CEmulatedProfile::Summary(profile).contains(QLatin1String("gives NG")))
            continue;
        CStationRig::SFrame& frame = s.rig->AddFrame();
        QVERIFY(CEmulatedProfile::Apply(profile, &frame.frame, &frame.panel));
        QVERIFY(s.Plug(&frame));
        QVERIFY(StationTest::WaitFor(judged, 20000));
        s.rig->Settle();
        CStationRig::Flush();
        {
            // The light paths and their readings are the frame's own data.
            QMutexLocker lock(s.work->GetDeviceMutex());
            CTouchBase* pDevice = s.work->GetTouchDevice();
            QVERIFY(pDevice);
            const QMap<QString, QString> errors = pDevice->GetSignalErrors();
            QVERIFY2(!errors.isEmpty(), qPrintable(profile));
            for (auto it = errors.cbegin(); it != errors.cend(); ++it)
                s.data << it.key() << it.value();
        }
        QCOMPARE(pTable->item(0, 0)->text(), QStringLiteral("NG"));
        s.Look(QStringLiteral("signal-test-") + profile, pView);
        QVERIFY(unplug(&frame));
        s.rig->Settle();
    }
    QVERIFY(s.Plug(s.frame));
    QVERIFY(StationTest::WaitFor(judged, 20000));
    s.rig->Settle();
}

// The signal-test workbench, opened from the main panel with the healthy
// frame plugged: its pages, its menu, the boxes and dialogs that the menu and
// the buttons open, the draw test with its menu and settings, and the record
// clock.
void SignalTestPage(CStation& s)
{
    auto* pView = s.window->findChild<VeloraTestView*>();
    QVERIFY(pView);
    Child<QToolButton>(s.window, "signalToolButton")->click();
    QVERIFY(pView->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(pView));
    s.rig->Settle();
    s.Look(QStringLiteral("signal-test"), pView);

    // The frame tested once; the two pages with its panel diagram and
    // histograms, as the run puts them there.
    QVERIFY(s.rig->Run(QStringLiteral("StartTestOnce"), pView));
    s.rig->Settle();
    {
        // The histograms' titles name the frame's axes and directions.
        QMutexLocker lock(s.work->GetDeviceMutex());
        CTouchBase* pDevice = s.work->GetTouchDevice();
        QVERIFY(pDevice);
        const QMap<QString, CAxisSignalInfo>& axes = pDevice->GetAxisSignalMap();
        for (auto it = axes.cbegin(); it != axes.cend(); ++it)
            s.data << it.key() << it.value().GetDirMap().keys();
    }
    QVERIFY(pView->InitPanelView());
    QVERIFY(pView->InitHistogramViews());
    QVERIFY(!pView->HistogramViews().isEmpty());
    pView->NoticeLabel()->hide();
    // Widgets added to a shown layout show from the event loop.
    QVERIFY(StationTest::WaitFor([pView] {
        bool bShown = !pView->PanelView()->isHidden();
        for (QWidget* pHistogram : pView->HistogramViews())
            bShown = bShown && !pHistogram->isHidden();
        return bShown;
    }));
    Child<QToolButton>(pView, "rectButton")->click();
    s.Look(QStringLiteral("signal-test-panel"), pView);
    Child<QToolButton>(pView, "histogramButton")->click();
    s.Look(QStringLiteral("signal-test-histograms"), pView);

    SignalTestNoticesStep(s, pView);
    if (QTest::currentTestFailed())
        return;
    SignalTestVerdictsStep(s, pView);
    if (QTest::currentTestFailed())
        return;

    // The menu, as its button pops it up.
    auto* pMenuButton = Child<QToolButton>(pView, "testActionToolButton");
    QVERIFY(pMenuButton);
    s.LookAtMenu([pMenuButton] { pMenuButton->showMenu(); }, QStringLiteral("signal-test-menu"), PathOf(pMenuButton));

    // "Set...": the test settings, tab by tab.
    QAction* pSetUp = MenuAction(s, pView, "Set...");
    QVERIFY(pSetUp);
    QList<CModalBoxAnswerer::Step> steps;
    const char* const kTabs[] = {"test-settings-default", "test-settings-devices", "test-settings-firmware",
                                 "test-settings-sn"};
    for (int i = 0; i < 4; ++i) {
        steps << [&s, i, kTabs](QDialog* pDialog) {
            SelectTab(pDialog, i);
            s.Look(QLatin1String(kTabs[i]), pDialog);
        };
    }
    steps << [](QDialog* pDialog) { pDialog->reject(); };
    s.answerer->ScriptDialog(steps);
    pSetUp->trigger();
    s.rig->Settle();

    // The serial-number prompt of a test run.
    CCustomerSettings::GetInstance()->SetBool(QStringLiteral("SupportSNCheck"), true);
    const QString serial = QStringLiteral("SN-0042");
    s.answerer->AnswerInput(serial);
    s.ExpectBox(QStringLiteral("signal-test-scan-sn"));
    pView->ScanSerialNumber();
    QCOMPARE(pView->ScannedSerialNumber(), serial);

    // "Modify SN code...": the number, then the question, answered No.
    QAction* pModify = MenuAction(s, pView, "Modify SN code...");
    QVERIFY(pModify);
    s.answerer->Answer(QStringLiteral("No"));
    s.ExpectBox(QStringLiteral("signal-test-modify-sn"));
    s.ExpectBox(QStringLiteral("signal-test-confirm-sn"), {serial});
    const int nBoxes = s.answerer->boxes.size();
    pModify->trigger();
    QCOMPARE(s.answerer->boxes.size(), nBoxes + 2);
    s.answerer->CancelInput();

    // A retest while data is recorded asks first (the buttons of the frame
    // taken as the source, as a test run has them).
    pView->UpdateSourceButtons();
    QAction* pRecord = MenuAction(s, pView, "Record Data...");
    auto* pRetest = Child<QToolButton>(pView, "retestTestButton");
    QVERIFY(pRecord && pRetest && pRetest->isEnabled());
    pRecord->setChecked(true);
    s.ExpectBox(QStringLiteral("signal-test-retest-recording"));
    pRetest->click();
    pRecord->setChecked(false);

    // The serial port the frame's test needs is gone: the box, then the
    // settings (left at once).
    s.answerer->Answer(QString());
    s.ExpectBox(QStringLiteral("signal-test-serial-port-lost"));
    s.answerer->AnswerDialog(false);
    pView->ShowComLostError();
    s.rig->Settle();

    // The record clock over the view.
    auto* pClock = pView->findChild<CRecordDialog*>();
    QVERIFY(pClock);
    pClock->StartClock();
    pClock->show();
    QVERIFY(QTest::qWaitForWindowExposed(pClock));
    s.Look(QStringLiteral("record-clock"), pClock);
    pClock->StopClock();

    // The draw test: its window, its menu, its settings; left with "Exit".
    CTouchPaintView* pPaint = pView->TouchPaintView();
    QVERIFY(pPaint);
    // Opened directly: the run judged above may have disabled its button (a
    // serial number check left unanswered fails the run).
    pView->OpenTouchPaintWindow();
    QVERIFY(pPaint->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(pPaint));
    s.rig->Settle();
    s.Look(QStringLiteral("draw-test"), pPaint);
    s.LookAtMenu(
        [pPaint] {
            QWidget* pArea = pPaint->viewport();
            const QPoint at(40, 40);
            QContextMenuEvent event(QContextMenuEvent::Mouse, at, pArea->mapToGlobal(at));
            QCoreApplication::sendEvent(pArea, &event);
        },
        QStringLiteral("draw-test-menu"), PathOf(pPaint));
    QPushButton* pDrawSetUp = ButtonWithText(pPaint, s.Tr("CTouchPaintView", "SetUp"));
    QPushButton* pDrawExit = ButtonWithText(pPaint, s.Tr("CTouchPaintView", "Exit"));
    QVERIFY(pDrawSetUp && pDrawExit);
    s.answerer->ScriptDialog({[&s](QDialog* pDialog) {
        s.Look(QStringLiteral("draw-test-settings"), pDialog);
        pDialog->reject();
    }});
    QTest::mouseClick(pDrawSetUp, Qt::LeftButton);
    QTest::mouseClick(pDrawExit, Qt::LeftButton);
    QVERIFY(!pPaint->isVisible());
    s.rig->Settle();

    Child<QToolButton>(pView, "exitTestButton")->click();
    QVERIFY(!pView->isVisible());
    s.rig->Settle();
}

void UpgradePage(CStation& s)
{
    auto* pView = s.window->findChild<VeloraUpgradeView*>();
    QVERIFY(pView);
    auto* pLog = Child<QTableWidget>(pView, "infoTableWidget");
    auto* pUpgrade = Child<QPushButton>(pView, "upgradePushButton");
    auto* pBrowse = Child<QPushButton>(pView, "browsePushButton");
    auto* pBar = Child<QProgressBar>(pView, "upgradeProgressBar");
    QVERIFY(pLog && pUpgrade && pBrowse && pBar);

    Child<QToolButton>(s.window, "upgradeToolButton")->click();
    QVERIFY(pView->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(pView));
    s.rig->Settle();
    s.Look(QStringLiteral("upgrade-view-no-firmware"), pView);

    // The settings of automatic upgrading (the view's set-up button).
    s.answerer->ScriptDialog({[&s](QDialog* pDialog) {
        s.Look(QStringLiteral("upgrade-settings"), pDialog);
        BoxButton(pDialog, QDialogButtonBox::Cancel)->click();
    }});
    Child<QToolButton>(pView, "lstActionToolButton")->click();

    // Choosing the image: cancelled once, then taken.
    const QByteArray image = StationTest::FirmwareImage();
    const QString path = s.workDir->Path() + QStringLiteral("/firmware.bin");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(image), qint64(image.size()));
    }
    s.answerer->CancelFile();
    s.ExpectBox(QStringLiteral("upgrade-open-file"));
    QTest::mouseClick(pBrowse, Qt::LeftButton);
    s.answerer->AnswerFile(path);
    s.ExpectBox(QStringLiteral("upgrade-open-file-again"));
    QTest::mouseClick(pBrowse, Qt::LeftButton);
    QVERIFY(pUpgrade->isEnabled());
    s.Look(QStringLiteral("upgrade-view-ready"), pView);

    // The upgrade, looked at halfway, where leaving is refused. The view's
    // reply watchdog and the dispatcher's bootloader-detect timer keep their
    // real periods: shortened, a loaded machine can have them end an upgrade
    // that is on its way.
    pView->SetWatchdogInterval(3000);
    s.work->SetBootDetectInterval(3000);
    s.frame->boot->ExpectImage(image);
    bool bHalfway = false;
    const QMetaObject::Connection halfway =
        QObject::connect(pBar, &QProgressBar::valueChanged, pView, [&](int nValue) {
            if (bHalfway || nValue < image.size() / 2)
                return;
            bHalfway = true;
            pView->close();
            s.Look(QStringLiteral("upgrade-in-progress"), pView);
        });
    QTest::mouseClick(pUpgrade, Qt::LeftButton);
    const QString completed = s.Tr("VeloraUpgradeView", "Update completed") + QStringLiteral("(1,0)");
    QVERIFY2(StationTest::WaitFor([&] { return TableColumn(pLog, 1).contains(completed); }, 60000),
             qPrintable(TableColumn(pLog, 1).join(QLatin1Char('\n'))));
    QObject::disconnect(halfway);
    QVERIFY(bHalfway);
    s.rig->Settle();
    s.Look(QStringLiteral("upgrade-completed"), pView);
    s.LookAtContextMenu(pLog, QStringLiteral("upgrade-log-menu"));

    // An upgrade that fails: the bootloader refuses a record.
    s.frame->boot->ExpectImage(image);
    s.frame->boot->FailAtRecord(3, CEmulatedBootloader::Failure::Nack);
    QVERIFY(StationTest::WaitFor([pUpgrade] { return pUpgrade->isEnabled(); }));
    QTest::mouseClick(pUpgrade, Qt::LeftButton);
    QVERIFY2(StationTest::WaitFor(
                 [&] {
                     const QStringList rows = TableColumn(pLog, 1);
                     return !rows.isEmpty() && rows.last().endsWith(QLatin1String("(1,1)"));
                 },
                 60000),
             qPrintable(TableColumn(pLog, 1).join(QLatin1Char('\n'))));
    QVERIFY(StationTest::WaitFor([&s] { return !s.work->IsTaskRunning(QStringLiteral("Start_Upgrade")); }));
    s.rig->Settle();
    s.Look(QStringLiteral("upgrade-failed"), pView);

    Child<QToolButton>(pView, "exitToolButton")->click();
    QVERIFY(!pView->isVisible());

    // The frame, left in its bootloader, runs its application again.
    s.frame->usb->Unplug();
    QVERIFY(StationTest::WaitFor([&s] { return s.work->GetUsbPort()->GetDevCount() == 0; }));
    s.rig->Settle();
    s.frame->frame.SetMode(CEmulatedFrame::Mode::Application);
    QVERIFY(s.Plug(s.frame));
}

void SerialNumberEntryPage(CStation& s)
{
    auto* pEntry = s.window->findChild<ScanInputDialog*>();
    QVERIFY(pEntry);
    auto* pInput = Child<QLineEdit>(pEntry, "snInput_lineEdit");
    QVERIFY(pInput);
    const QStringList values = {QStringLiteral("AB**-12"), QStringLiteral("ABxy-123")};
    CCustomerSettings::GetInstance()->SetString(QStringLiteral("SNTEMPLATE"), values.at(0));
    pEntry->UpdateTemplate(true);

    pEntry->ShowInput();
    QVERIFY(QTest::qWaitForWindowExposed(pEntry));
    QTest::keyClicks(pInput, values.at(1));
    s.Look(QStringLiteral("sn-entry"), pEntry, values);
    s.answerer->Answer(QString());
    s.ExpectBox(QStringLiteral("sn-entry-mismatch"), values);
    QTest::keyClick(pInput, Qt::Key_Return);
    QVERIFY(!pEntry->isVisible());

    pEntry->ShowInput();
    QVERIFY(QTest::qWaitForWindowExposed(pEntry));
    s.ExpectBox(QStringLiteral("sn-entry-empty"), values);
    QTest::keyClick(pInput, Qt::Key_Return);
    QVERIFY(!pEntry->isVisible());
}

void UploadBoxesPage(CStation& s)
{
    // Servers the station cannot reach: a database of no known type, an FTP
    // server without a name.
    {
        QFile ini(QString::fromLatin1(CUploadTestData::kFileName));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[FtpServer]\nUrl=\nPortNo=21\nUser=station\nPassword=secret\n"
                  "[Database]\nServer=db\nPortNo=1433\nType=NONE\nName=lines\nUser=station\nPassword=secret\n");
    }
    CUploadTestData* pUpload = CUploadTestData::GetInstance();
    QVERIFY(pUpload);
    s.answerer->Answer(QStringLiteral("Cancel"));
    CTestRecord record;
    record.SetLogUrl(QStringLiteral("/Data/A/log.xml"));
    s.ExpectBox(QStringLiteral("upload-database"));
    int nBoxes = s.answerer->boxes.size();
    QCOMPARE(pUpload->InsertToDatabase(record), 0);
    QCOMPARE(s.answerer->boxes.size(), nBoxes + 1);
    // The upload boxes' title stays English in every language, the
    // Chinese walk's too.
    QCOMPARE(s.answerer->boxes.last().title, QStringLiteral("Error!"));

    QVERIFY(QDir().mkpath(QStringLiteral("Data/A")));
    {
        QFile log(QStringLiteral("Data/A/log.xml"));
        QVERIFY(log.open(QIODevice::WriteOnly));
        log.write("<log/>");
    }
    s.ExpectBox(QStringLiteral("upload-ftp"));
    nBoxes = s.answerer->boxes.size();
    pUpload->FtpClient()->UploadFile(QStringLiteral("/Data/A/log.xml"));
    QVERIFY(StationTest::WaitFor(
        [&] { return s.answerer->boxes.size() > nBoxes && pUpload->FtpClient()->IsIdle(); }, 20000));
    QCOMPARE(s.answerer->boxes.last().title, QStringLiteral("Error!"));
    CUploadTestData::SetServiceForTest(nullptr);
}

// A frame whose firmware the station does not support.
void UnsupportedFramePage(CStation& s)
{
    s.frame->usb->Unplug();
    QVERIFY(StationTest::WaitFor([&s] { return s.work->GetUsbPort()->GetDevCount() == 0; }));
    s.rig->Settle();
    s.answerer->Answer(QString());
    s.ExpectBox(QStringLiteral("frame-not-supported"));
    const int nBoxes = s.answerer->boxes.size();
    s.oldFrame->usb->Plug();
    QVERIFY(StationTest::WaitFor([&s, nBoxes] { return s.answerer->boxes.size() > nBoxes; }, 20000));
    s.oldFrame->usb->Unplug();
    QVERIFY(StationTest::WaitFor([&s] { return s.work->GetUsbPort()->GetDevCount() == 0; }));
    s.rig->Settle();
}

struct SPage
{
    const char* szName;
    void (*fn)(CStation&);
};

// In the order an operator meets them. The pages that need the healthy
// frame plugged come before "unsupported-frame", which leaves none.
const SPage kPages[] = {
    {"main-window", MainWindowPage},
    {"device-errors", DeviceErrorBoxesPage},
    {"settings", MainSettingsPage},
    {"calibration", CalibrationPage},
    {"signal-test", SignalTestPage},
    {"upgrade", UpgradePage},
    {"sn-entry", SerialNumberEntryPage},
    {"upload", UploadBoxesPage},
    {"unsupported-frame", UnsupportedFramePage},
};

} // namespace

class TestCatalogueWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void nothingEscapesTheCatalogue();
    void chineseStationHoldsItsTexts();
    void englishStationHoldsItsTexts();
    void shortcutsAreTheSameKeys();
    void clippingIsMeasured_data();
    void clippingIsMeasured();
    void cellClippingIsMeasured_data();
    void cellClippingIsMeasured();
    void textsAreJudged_data();
    void textsAreJudged();

private:
    // Builds the station in the language and walks every page; false (with
    // the test failed) when a page could not be walked.
    bool Walk(CStation& station);

    QList<Catalogue::SEntry> m_entries;
    QMap<QString, QStringList> m_chineseShortcuts;
    QMap<QString, QStringList> m_englishShortcuts;
};

void TestCatalogueWindows::initTestCase()
{
    QString error;
    QVERIFY2(Catalogue::Read(Catalogue::TsPath(), &m_entries, &error), qPrintable(error));
    InitStationResources();
}

bool TestCatalogueWindows::Walk(CStation& station)
{
    if (!station.Start()) {
        QTest::qFail("the station did not start", __FILE__, __LINE__);
        return false;
    }
    for (const SPage& page : kPages) {
        station.page = QLatin1String(page.szName);
        page.fn(station);
        if (QTest::currentTestFailed()) {
            qWarning().noquote() << "The walk stopped at the page" << page.szName << "after"
                                 << station.looked.join(QStringLiteral(", "));
            return false;
        }
        if (!station.answerer->problems.isEmpty()) {
            QTest::qFail(qPrintable(QStringLiteral("page %1: %2")
                                        .arg(station.page, station.answerer->problems.join(QStringLiteral("; ")))),
                         __FILE__, __LINE__);
            return false;
        }
    }
    if (!station.problems.isEmpty()) {
        QTest::qFail(qPrintable(station.problems.join(QLatin1Char('\n'))), __FILE__, __LINE__);
        return false;
    }
    return true;
}

void TestCatalogueWindows::nothingEscapesTheCatalogue()
{
    CStation station(EMode::Marked, m_entries);
    if (!Walk(station))
        return;
    QVERIFY2(station.escapes.isEmpty(),
             qPrintable(QStringLiteral("Texts shown outside the catalogue (%1); put each through tr() or "
                                       "QT_TRANSLATE_NOOP, or, if it stays English outside the catalogue by design, "
                                       "into OutsideTexts():\n  ")
                            .arg(station.escapes.size())
                        + station.escapes.join(QStringLiteral("\n  "))));
    qInfo().noquote() << "Walked:" << station.looked.join(QStringLiteral(", "));
}

void TestCatalogueWindows::chineseStationHoldsItsTexts()
{
    // The pictures of this walk only.
    QDir(CTestEnvironment::OutputDir() + QStringLiteral("/zh")).removeRecursively();
    CStation station(EMode::Chinese, m_entries);
    if (!Walk(station))
        return;
    m_chineseShortcuts = station.shortcuts;
    qInfo().noquote() << "Chinese pictures for review:" << CTestEnvironment::OutputDir() + QStringLiteral("/zh");
    for (const QString& line : qAsConst(station.clipped))
        qInfo().noquote() << "clipped:" << line;
    QVERIFY2(station.clipped.isEmpty(),
             qPrintable(QStringLiteral("Chinese texts clipped by a width the form limits, or cut by a table "
                                       "cell (%1); shorten the translation, or let the cell wrap:\n  ")
                            .arg(station.clipped.size())
                        + station.clipped.join(QStringLiteral("\n  "))));
    // The program name and version stay as written.
    const QString title =
        QString::fromLatin1(StationInfo::kAppName) + QString::fromLatin1(StationInfo::kAppVersion);
    QCOMPARE(station.window->windowTitle(), title);
}

void TestCatalogueWindows::englishStationHoldsItsTexts()
{
    QDir(CTestEnvironment::OutputDir() + QStringLiteral("/en")).removeRecursively();
    CStation station(EMode::English, m_entries);
    if (!Walk(station))
        return;
    m_englishShortcuts = station.shortcuts;
    qInfo().noquote() << "English pictures for review:" << CTestEnvironment::OutputDir() + QStringLiteral("/en");
    // The whole list (a failure's message is cut short).
    for (const QString& line : qAsConst(station.clipped))
        qInfo().noquote() << "clipped:" << line;
    QVERIFY2(station.clipped.isEmpty(),
             qPrintable(QStringLiteral("English texts clipped by a width the form limits, or cut by a table "
                                       "cell (%1):\n  ")
                            .arg(station.clipped.size())
                        + station.clipped.join(QStringLiteral("\n  "))));
}

void TestCatalogueWindows::shortcutsAreTheSameKeys()
{
    if (m_chineseShortcuts.isEmpty() || m_englishShortcuts.isEmpty())
        QSKIP("The Chinese or the English walk did not run to its end.");
    const QMap<QString, QStringList>& english = m_englishShortcuts;
    QStringList differing;
    int nCompared = 0;
    for (auto it = english.cbegin(); it != english.cend(); ++it) {
        const auto chinese = m_chineseShortcuts.constFind(it.key());
        if (chinese == m_chineseShortcuts.cend())
            continue;
        ++nCompared;
        if (chinese.value() != it.value())
            differing << QStringLiteral("%1: %2 in English, %3 in Chinese")
                             .arg(it.key(), it.value().join(QLatin1Char(',')), chinese.value().join(QLatin1Char(',')));
    }
    // The main window's keys are among those compared.
    const QString exitPath = QStringLiteral("MainWindow/centralwidget/controlwidget/exitToolButton");
    QVERIFY2(english.value(exitPath) == QStringList{QStringLiteral("Esc")},
             qPrintable(english.value(exitPath).join(QLatin1Char(','))));
    QVERIFY2(m_chineseShortcuts.contains(exitPath), qPrintable(exitPath));
    QVERIFY2(differing.isEmpty(),
             qPrintable(QStringLiteral("Shortcuts that the catalogue changes (%1 of %2):\n  ")
                            .arg(differing.size())
                            .arg(nCompared)
                        + differing.join(QStringLiteral("\n  "))));
}

void TestCatalogueWindows::clippingIsMeasured_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("clipped");
    QTest::newRow("two characters") << QString::fromUtf8("重置") << false;
    QTest::newRow("a sentence") << QString::fromUtf8("重置校准参数并退出校准界面") << true;
}

// The check the Chinese walk applies, on the 80 x 40 button of the
// calibration screens.
void TestCatalogueWindows::clippingIsMeasured()
{
    QFETCH(QString, text);
    QFETCH(bool, clipped);
    QWidget window;
    auto* pLayout = new QHBoxLayout(&window);
    auto* pButton = new QPushButton(text, &window);
    pButton->setMinimumSize(80, 40);
    pButton->setMaximumSize(80, 40);
    pLayout->addWidget(pButton);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QString clip = Clipping(pButton);
    QVERIFY2(clip.isEmpty() != clipped, qPrintable(clip));
}

void TestCatalogueWindows::cellClippingIsMeasured_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("elides");
    QTest::addColumn<int>("rowHeight");
    QTest::addColumn<bool>("clipped");
    const QString id = QStringLiteral("0123456789ABCDEF0123");
    QTest::newRow("a short word") << "ID" << true << 30 << false;
    QTest::newRow("a long word, elided") << id << true << 200 << true;
    QTest::newRow("a long word, wrapped in a tall row") << id << false << 200 << false;
    QTest::newRow("a long word, wrapped in a short row") << id << false << 20 << true;
    QTest::newRow("short words, wrapped at spaces") << "a b c d e f g h" << true << 200 << false;
}

// The check the walks apply to table cells, on a column of 40 pixels.
void TestCatalogueWindows::cellClippingIsMeasured()
{
    QFETCH(QString, text);
    QFETCH(bool, elides);
    QFETCH(int, rowHeight);
    QFETCH(bool, clipped);
    QTableWidget table(1, 2);
    table.resize(300, 300);
    table.setColumnWidth(0, 40);
    table.setRowHeight(0, rowHeight);
    table.setWordWrap(true);
    table.setTextElideMode(elides ? Qt::ElideRight : Qt::ElideNone);
    table.setItem(0, 0, new QTableWidgetItem(text));
    table.show();
    QVERIFY(QTest::qWaitForWindowExposed(&table));
    const QStringList clips = CellClipping(&table);
    QVERIFY2(clips.isEmpty() != clipped, qPrintable(clips.join(QLatin1Char('\n'))));
}

void TestCatalogueWindows::textsAreJudged_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("data");
    QTest::addColumn<QString>("left");

    const QString open(kMarkOpen);
    const QString close(kMarkClose);
    const QStringList frame{QStringLiteral("Product"), QStringLiteral("KT-T65WHSUR-10P")};
    QTest::newRow("marked") << open + "Calibration complete" + close << QStringList() << "";
    QTest::newRow("marked, then counts") << open + "Update completed" + close + "(1,0)" << QStringList() << "";
    QTest::newRow("marked, then a path") << open + "Generate log file:" + close + "/tmp/a b/2024-CVCalibrate.txt"
                                         << QStringList() << "";
    QTest::newRow("pieces around a task name")
        << open + "The task \"" + close + "ReTest" + open + "\" timeout" + close << QStringList{"ReTest"} << "";
    QTest::newRow("the frame's values") << "Product:KT-T65WHSUR-10P Vid:0x2FE9 CheckSum:0x1A2B-0x3C4D FFFF"
                                        << frame + QStringList{"Vid", "CheckSum"} << "";
    QTest::newRow("numbers and times") << "2024-11-05 12:00:01 50% 0x-0x" << QStringList() << "";
    QTest::newRow("English outside") << "Escaping words" << QStringList() << "Escaping words";
    QTest::newRow("Chinese outside") << QString::fromUtf8("正在录制数据") << QStringList()
                                     << QString::fromUtf8("正在录制数据");
    QTest::newRow("a word beside a marked piece") << open + "Update completed" + close + " twice" << QStringList()
                                                  << "twice";
    QTest::newRow("a value inside a word is no value") << "Products" << frame << "Products";
}

// What the walk takes for marked, data or a text that escapes.
void TestCatalogueWindows::textsAreJudged()
{
    QFETCH(QString, text);
    QFETCH(QStringList, data);
    QFETCH(QString, left);
    QCOMPARE(Unmarked(text, data), left);
}

STATION_TEST_MAIN(TestCatalogueWindows)
#include "tst_cataloguewindows.moc"
