// The contract between the dispatcher and the classes it reaches by name
// (viewcontract.h): every listed method is declared, with its exact
// signature and the result the dispatcher reads, by every class that must
// declare it; a misspelt or retyped slot fails here instead of warning at run
// time.

#include "caladvancedsettingview.h"
#include "finetuningcalibrateview.h"
#include "mainwindow.h"
#include "shelltestwindow.h"
#include "testenvironment.h"
#include "veloracalibrateview.h"
#include "veloratestview.h"
#include "veloraupgradeview.h"
#include "viewcontract.h"

#include <QMetaMethod>
#include <QtTest>

#include <cstdint>

namespace {
// The classes of the tree, by the names the contract uses. The dispatcher's
// tests stand a recording window in for the main window: it keeps the same
// contract.
QList<const QMetaObject*> ClassesNamed(const QByteArray& name)
{
    if (name == "VeloraTestView")
        return {&VeloraTestView::staticMetaObject};
    if (name == "VeloraCalibrateView")
        return {&VeloraCalibrateView::staticMetaObject};
    if (name == "VeloraUpgradeView")
        return {&VeloraUpgradeView::staticMetaObject};
    if (name == "CFineTuningCalibrateView")
        return {&CFineTuningCalibrateView::staticMetaObject};
    if (name == "CCalAdvancedSettingView")
        return {&CCalAdvancedSettingView::staticMetaObject};
    if (name == "MainWindow")
        return {&MainWindow::staticMetaObject, &CShellTestWindow::staticMetaObject};
    return {};
}
} // namespace

// A view that declares the methods with other spellings of their types.
class CRetypedView : public QObject
{
    Q_OBJECT
public:
    Q_INVOKABLE void GetAgcValue(quint32*, quint32*) {}
    Q_INVOKABLE QByteArray GetLogFilePath() { return QByteArray(); }

public slots:
    void InitTestUi(QMap<QString, int>) {}
    void TaskFailed(QString, int64_t) {}
};

Q_DECLARE_METATYPE(const ViewContract::SMethod*)

class TestViewContract : public QObject
{
    Q_OBJECT

private slots:
    void everyClassDeclaresItsMethods_data();
    void everyClassDeclaresItsMethods();
    void anotherSpellingIsNotTheMethod();
};

void TestViewContract::everyClassDeclaresItsMethods_data()
{
    QTest::addColumn<const ViewContract::SMethod*>("method");
    QTest::addColumn<QByteArray>("className");
    for (const ViewContract::SMethod* pMethod : ViewContract::kAll) {
        for (const char* const* ppClass = pMethod->ppClasses; *ppClass; ++ppClass) {
            const QByteArray row = QByteArray(*ppClass) + "::" + pMethod->szSignature;
            QTest::newRow(row.constData()) << pMethod << QByteArray(*ppClass);
        }
    }
}

void TestViewContract::everyClassDeclaresItsMethods()
{
    QFETCH(const ViewContract::SMethod*, method);
    QFETCH(QByteArray, className);

    // The listed signature is the normalised one the meta-object system uses.
    QCOMPARE(QMetaObject::normalizedSignature(method->szSignature), QByteArray(method->szSignature));

    const QList<const QMetaObject*> classes = ClassesNamed(className);
    QVERIFY2(!classes.isEmpty(), className.constData());
    for (const QMetaObject* pMeta : classes) {
        const int nIndex = ViewContract::IndexOf(pMeta, *method);
        QVERIFY2(nIndex >= 0, qPrintable(QStringLiteral("%1 has no %2").arg(pMeta->className(), method->szSignature)));
        const QMetaMethod found = pMeta->method(nIndex);
        QCOMPARE(found.name(), ViewContract::Name(*method));
        // Reached from outside: a slot or an invokable method, never a signal.
        QVERIFY(found.methodType() == QMetaMethod::Slot || found.methodType() == QMetaMethod::Method);
        QCOMPARE(found.access(), QMetaMethod::Public);
        if (method->szResult)
            QCOMPARE(QByteArray(found.typeName()), QByteArray(method->szResult));
    }
}

void TestViewContract::anotherSpellingIsNotTheMethod()
{
    const QMetaObject* pMeta = &CRetypedView::staticMetaObject;
    for (const ViewContract::SMethod* pMethod :
         {&ViewContract::kGetAgcValue, &ViewContract::kInitTestUi, &ViewContract::kTaskFailed})
        QVERIFY2(ViewContract::IndexOf(pMeta, *pMethod) < 0, pMethod->szSignature);
    // Found by signature, but with a result the dispatcher cannot read.
    const int nIndex = ViewContract::IndexOf(pMeta, ViewContract::kGetLogFilePath);
    QVERIFY(nIndex >= 0);
    QVERIFY(QByteArray(pMeta->method(nIndex).typeName()) != ViewContract::kGetLogFilePath.szResult);
}

STATION_TEST_MAIN(TestViewContract)
#include "tst_viewcontract.moc"
