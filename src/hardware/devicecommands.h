#pragma once

#include <cstdint>

// The frame's command protocol, named once: the request opcodes (byte 1
// command, byte 2 sub-command of a request report) and the family byte each
// command wrapper puts into bits 16 to 23 of its failures (0x80NN0001 after
// its retries, 0x80NN0000 | transport code when the port failed).
//
// A data reply repeats the command with the sub-command OR 0x80; a status
// reply names the command in bytes 5 and 6 (see CDeviceReport).

struct SOpcode
{
    uint8_t nCmd;
    uint8_t nSub;
};

namespace Opcode {
// Device settings.
constexpr SOpcode kDrawingMode{0xA2, 0x20};
constexpr SOpcode kTouchEnable{0x30, 0x08};
constexpr SOpcode kTouchEnableRead{0x30, 0x07};
constexpr SOpcode kPenEnable{0x30, 0x1D};
constexpr SOpcode kPenEnableRead{0x30, 0x0E};
constexpr SOpcode kSplitScreen{0x30, 0x22};
constexpr SOpcode kSplitScreenRead{0x30, 0x23};
constexpr SOpcode kReverseMode{0xA8, 0x08};
constexpr SOpcode kCheckLedError{0xA8, 0x17};
constexpr SOpcode kInitAgc{0xA2, 0x09};
constexpr SOpcode kAgcRange{0xA8, 0x15};
constexpr SOpcode kAgcValue{0xA8, 0x13};
constexpr SOpcode kCmdA804{0xA8, 0x04};
constexpr SOpcode kCmdA811{0xA8, 0x11};
constexpr SOpcode kCmdA814{0xA8, 0x14};
constexpr SOpcode kDeviceState{0xB2, 0x08};
constexpr SOpcode kTouchFormat{0x30, 0x00};
constexpr SOpcode kTouchFormatRead{0x30, 0x04};

// Device information.
constexpr SOpcode kProduct{0xA3, 0x01};
constexpr SOpcode kFirmwareInfo{0xA3, 0x05};
constexpr SOpcode kAppInfo{0xA3, 0x00};
constexpr SOpcode kMcuID{0xA9, 0x00};
constexpr SOpcode kBatchInfoRead{0xA9, 0x05};
constexpr SOpcode kBatchInfoWrite{0xA9, 0x06};
constexpr SOpcode kMaxPoint{0x08, 0x00};
constexpr uint8_t kMaxPointReplySub = 0x02; // 08 00 is answered by 08 02

// Panel geometry and signals.
constexpr SOpcode kParamBlock{0xAC, 0x01};
constexpr SOpcode kLedCounts{0xA5, 0x00};
constexpr SOpcode kLayoutParams{0xA5, 0x07};
constexpr SOpcode kSignalThreshold{0xA8, 0x05};
constexpr SOpcode kSignalA806{0xA8, 0x06};
constexpr SOpcode kSignalA816{0xA8, 0x16};
// A signal chunk; with [5] = 0xFF the same request polls the frame's readiness.
constexpr SOpcode kSignalFrame{0xA5, 0x01};

// Calibration and fine tuning. The calibration steps are command 01 with the
// step number as sub-command; the frame answers them with command 01.
constexpr uint8_t kCalCommand = 0x01;
constexpr SOpcode kCalEnd{kCalCommand, 0xFF};
constexpr SOpcode kCmd0108{kCalCommand, 0x08};
constexpr SOpcode kCalPrepare{0xA1, 0x01};
constexpr SOpcode kCalCorners{0xA1, 0x02};
constexpr SOpcode kCalSaveToFlash{0xA1, 0x03};
constexpr SOpcode kCalData{0xA1, 0x04};
constexpr SOpcode kCalSaveAsDefault{0xA1, 0x05};
constexpr SOpcode kCalReset{0xA1, 0x06};
constexpr SOpcode kCalFormat{0x30, 0x02};
constexpr SOpcode kCalFormatRead{0x30, 0x11};
constexpr SOpcode kCmdCF02{0xCF, 0x02};
constexpr SOpcode kFineTuneWrite{0xA2, 0x00};
constexpr SOpcode kFineTuneRead{0xA2, 0x01};
constexpr SOpcode kExitFineTuning{0xA2, 0x12};

// Bootloader: the jump goes to the application collection, the boot
// information request to the boot collection (report id 0xFE).
constexpr SOpcode kJumpToBoot{0xAA, 0x04};
constexpr SOpcode kBootInfo{0x03, 0x00};
} // namespace Opcode

// Family byte of each command wrapper, named after the wrapper.
namespace CommandFamily {
constexpr uint8_t kSetDrawing = 0x01;
constexpr uint8_t kSetTouchEnable = 0x02;
constexpr uint8_t kSetReverseMode = 0x03;
constexpr uint8_t kInitAgc = 0x04;
constexpr uint8_t kGetParamBlock = 0x05;
constexpr uint8_t kGetLedCounts = 0x06;
constexpr uint8_t kGetLayoutParams = 0x07;
constexpr uint8_t kGetSignalThreshold = 0x08;
constexpr uint8_t kGetSignalA806 = 0x09;
constexpr uint8_t kGetMaxPoint = 0x0A;
constexpr uint8_t kGetProduct = 0x0B;
constexpr uint8_t kGetFirmwareInfo = 0x0C;
constexpr uint8_t kGetAppInfo = 0x0D;
constexpr uint8_t kGetMcuID = 0x0E;
constexpr uint8_t kGetSignalFrame = 0x0F;
constexpr uint8_t kGetOrgAgcSignal = 0x10;
constexpr uint8_t kWaitReady = 0x11;
constexpr uint8_t kCmdA811 = 0x12;
constexpr uint8_t kGetBatchInfo = 0x13;
constexpr uint8_t kGetSignalA816 = 0x14;
constexpr uint8_t kGetTouchEnable = 0x15;
constexpr uint8_t kSetTouchFormat = 0x16;
constexpr uint8_t kCmdA814 = 0x17;
constexpr uint8_t kCmdA804 = 0x18;
constexpr uint8_t kSetPenEnable = 0x19;
constexpr uint8_t kGetPenEnable = 0x1A;
constexpr uint8_t kCheckLedError = 0x1B;
constexpr uint8_t kInitAgcRange = 0x1C;
constexpr uint8_t kGetDeviceState = 0x1D;
constexpr uint8_t kWaitDeviceIdle = 0x1E;
constexpr uint8_t kSaveBatchInfo = 0x1F;
constexpr uint8_t kSetAgcValue = 0x20;
constexpr uint8_t kGetSplitScreen = 0x21;
constexpr uint8_t kSetSplitScreen = 0x22;
constexpr uint8_t kGetBootInfo = 0x23;
constexpr uint8_t kJumpToBoot = 0x24;
constexpr uint8_t kCmdA101 = 0x25;
// These two report their failures under CmdA101's family.
constexpr uint8_t kGetTouchFormat = kCmdA101;
constexpr uint8_t kMoveCalEdge = kCmdA101;
constexpr uint8_t kGetCalData = 0x26;
constexpr uint8_t kSaveCalAsDefault = 0x27;
constexpr uint8_t kResetCalData = 0x28;
constexpr uint8_t kSaveCalToFlash = 0x29;
constexpr uint8_t kDoCalStep = 0x2A;
constexpr uint8_t kGetCalFormat = 0x2B;
constexpr uint8_t kSetCalFormat = 0x2C;
constexpr uint8_t kCmdCF02 = 0x2E;
constexpr uint8_t kCmd0108 = 0x2F;
constexpr uint8_t kExitFineTuning = 0x30;
constexpr uint8_t kWriteFineTuneParams = 0x31;
constexpr uint8_t kReadFineTuneParams = 0x32;
constexpr uint8_t kSendCalDataToDev = 0x33;
constexpr uint8_t kSendCalParam = 0x34;
} // namespace CommandFamily
