#pragma once

// Test logs of the shapes that a hostile or hand-edited file can take to
// exhaust the memory or the time of the station that opens it, built at any
// size: small in the tests of the bounds (tst_testlog), at the sizes that were
// measured in the benchmark (bench/hostile_logs). Header only.

#include <QByteArray>
#include <QString>

namespace HostileLog {

// "1 2 3 ...": n values, one blank between them.
inline QByteArray Values(int n, int nStart = 0)
{
    QByteArray text;
    text.reserve(n * 6);
    for (int i = 0; i < n; ++i) {
        if (i)
            text += ' ';
        text += QByteArray::number((nStart + i) % 256);
    }
    return text;
}

// The frame of the X axis, direction T0, kind ADC, number 2, whose text is
// body (any content, nested elements included).
inline QByteArray WithFrame(const QByteArray &body, int nLeds = 2)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<touch_device><test TEST_TIMES_FOR_UNT=\"1\">"
           "<axis ID=\"0\" name=\"X\" maxSignal=\""
        + QByteArray::number(nLeds)
        + "\" maxValue=\"255\" signalStart=\"0\" divide=\"\"><dir ID=\"0\" name=\"T0\">"
          "<type name=\"ADC\" ID=\"0\" base=\"ADC\" show=\"ADC\" standardType=\"Absolute\"><test_data><data ID=\"2\">"
        + body + "</data></test_data></type></dir></axis></test></touch_device>\n";
}

// Values nested in elements inside one recorded frame: nChildren children of
// nValuesEach values. Each child stays below every bound of an element's
// own text; the reader takes the whole text of the frame.
inline QByteArray NestedFrameValues(int nChildren, int nValuesEach)
{
    const QByteArray child = "<v>" + Values(nValuesEach) + " </v>";
    QByteArray body;
    body.reserve(child.size() * nChildren);
    for (int i = 0; i < nChildren; ++i)
        body += child;
    return WithFrame(body);
}

// Text without blanks nested inside one recorded frame: one value, but
// nChildren × nCharsEach characters.
inline QByteArray NestedFrameText(int nChildren, int nCharsEach)
{
    const QByteArray child = "<v>" + QByteArray(nCharsEach, '1') + "</v>";
    QByteArray body;
    body.reserve(child.size() * nChildren);
    for (int i = 0; i < nChildren; ++i)
        body += child;
    return WithFrame(body);
}

// One element with n attributes.
inline QByteArray ManyAttributes(int n)
{
    QByteArray data = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<touch_device";
    data.reserve(n * 12 + 64);
    for (int i = 0; i < n; ++i)
        data += " a" + QByteArray::number(i) + "=\"1\"";
    return data + "/>\n";
}

// A divide list of nChars digits with no separator (one entry).
inline QByteArray LongDivide(int nChars)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<touch_device><test><axis ID=\"0\" name=\"X\" maxSignal=\"2\" "
           "divide=\""
        + QByteArray(nChars, '7') + "\"/></test></touch_device>\n";
}

// n empty elements.
inline QByteArray EmptyElements(qint64 n)
{
    QByteArray data = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<touch_device>";
    data.reserve(int(qMin<qint64>(n * 4 + 64, 0x7FFFFFF0)));
    for (qint64 i = 0; i < n; ++i)
        data += "<a/>";
    return data + "</touch_device>\n";
}

// A frame whose every X light path is dark, on nBoards boards a side of
// nLeds / nBoards sensors (the bottom emitters, the top receivers): every
// sensor dead, so the board analysis meets the longest list of dead
// sensors, once per board. Within every bound at nLeds kMaxLeds and nBoards
// kMaxBoards / 2.
inline QByteArray DeadSensorsOnManyBoards(int nLeds, int nBoards)
{
    QByteArray data = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<touch_device>\n<hardware_info>\n";
    const int nPerBoard = nLeds / nBoards;
    const char *sides[] = {"Bottom", "Top"};
    for (int s = 0; s < 2; ++s) {
        data += "<axis ID=\"" + QByteArray::number(s) + "\" name=\"" + sides[s] + "\">\n";
        for (int b = 0; b < nBoards; ++b) {
            data += "<pcb ID=\"" + QByteArray::number(b) + "\">";
            for (int k = 0; k < nPerBoard; ++k)
                data += "<led ID=\"" + QByteArray::number(k) + "\"/>";
            data += "</pcb>\n";
        }
        data += "</axis>\n";
    }
    data += "<logic_info><sensor_relation>\n";
    for (int i = 0; i < nLeds; ++i)
        data += "<relation ID=\"" + QByteArray::number(i) + "\">Bottom:" + QByteArray::number(i) + "-Top:"
            + QByteArray::number(i) + "</relation>\n";
    data += "</sensor_relation></logic_info>\n</hardware_info>\n";
    data += "<test TEST_TIMES_FOR_UNT=\"1\"><axis ID=\"0\" name=\"X\" maxSignal=\"" + QByteArray::number(nLeds)
        + "\" maxValue=\"255\" signalStart=\"0\" divide=\"\">\n<dir ID=\"0\" name=\"T0\">\n"
          "<type name=\"ADC\" ID=\"0\" base=\"ADC\" show=\"ADC\" standardType=\"Absolute\">"
          "<test_problem_standard><standard>0000-0030</standard></test_problem_standard>"
          "<test_standard><standard>0100-0255</standard></test_standard>\n<test_data><data ID=\"2\">";
    QByteArray dark;
    dark.reserve(nLeds * 2);
    for (int i = 0; i < nLeds; ++i)
        dark += i ? " 0" : "0";
    data += dark + "</data></test_data></type>\n<signal_labels>\n";
    for (int i = 0; i < nLeds; ++i)
        data += "<label relation=\"Bottom:" + QByteArray::number(i) + "-Top:" + QByteArray::number(i) + "\">T"
            + QByteArray::number(i / nPerBoard) + ":" + QByteArray::number(i % nPerBoard) + "-R"
            + QByteArray::number(i / nPerBoard) + ":" + QByteArray::number(i % nPerBoard) + "</label>\n";
    return data + "</signal_labels>\n</dir></axis></test>\n</touch_device>\n";
}

} // namespace HostileLog
