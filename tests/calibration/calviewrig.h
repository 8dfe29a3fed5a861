#pragma once

// The calibration view on its own, over the real dispatcher (the station
// rig: real HandleWork, USB port and device layer on the fake OS backend,
// one emulated frame that is plugged only when a test asks), with a plain
// widget standing in for the main window that owns it and its screens.

#include "calworkcustomview.h"
#include "handlework.h"
#include "shelltestwindow.h"
#include "stationrig.h"
#include "veloracalibrateview.h"

#include <QComboBox>
#include <QPushButton>
#include <QTableWidget>
#include <QWidget>

#include <memory>

class CCalViewRig
{
public:
    std::unique_ptr<CStationRig> rig;
    std::unique_ptr<QWidget> owner;
    VeloraCalibrateView* view = nullptr;

    void Create()
    {
        rig = std::make_unique<CStationRig>();
        rig->AddFrame(CStationRig::SFrameOptions::Upgradable());
        rig->StartDispatcher(CALIBRATEWORK);
        rig->Settle();
        owner = std::make_unique<QWidget>();
        view = new VeloraCalibrateView(owner.get(), Work());
        // What the main window passes on.
        QObject::connect(Work(), &HandleWork::EmitDeviceStatusToUIObject, view,
                         &VeloraCalibrateView::InsertUsbDeviceForCalibrate);
    }

    // The view first (it releases its screens), the main window's stand-in
    // with the rest, the station last.
    void Destroy()
    {
        if (!owner)
            return;
        Work()->StopWorker();
        delete view;
        view = nullptr;
        owner.reset();
        rig.reset();
    }

    // Opens the view as the main window does.
    void Open()
    {
        view->InitCalibrateView();
        view->show();
    }

    HandleWork* Work() const { return rig->Work(); }
    CShellTestWindow* Window() const { return rig->ShellWindow(); }
    CStationRig::SFrame& Frame() const { return rig->Frame(); }

    QTableWidget* Log() const { return view->findChild<QTableWidget*>(QStringLiteral("CalLogTableWidget")); }
    QPushButton* CalButton() const { return view->findChild<QPushButton*>(QStringLiteral("Btn_Cal_2")); }
    QPushButton* ResetButton() const { return view->findChild<QPushButton*>(QStringLiteral("Btn_Reset_2")); }
    QComboBox* Mode() const { return view->findChild<QComboBox*>(QStringLiteral("combox_CalMode_2")); }
    CCalWorkCustomView* Screen() const { return owner->findChild<CCalWorkCustomView*>(); }

    QStringList LogTexts() const { return Column(1); }
    QStringList Column(int nColumn) const
    {
        QStringList texts;
        QTableWidget* pTable = Log();
        for (int r = 0; r < pTable->rowCount(); ++r)
            texts << (pTable->item(r, nColumn) ? pTable->item(r, nColumn)->text() : QString());
        return texts;
    }
};
