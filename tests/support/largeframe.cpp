#include "largeframe.h"

void LargeFrame(CEmulatedPanel::Model &m)
{
    m.nX = 600;
    m.nY = 340;
    m.boards[0] = m.boards[1] = {75, 75, 75, 75, 75, 75, 75, 75};
    m.boards[2] = m.boards[3] = {85, 85, 85, 85};
    m.offsets[0][0] = -20;
    m.offsets[0][2] = 20;
    m.offsets[1][0] = -12;
    m.offsets[1][2] = 12;
    m.nDivide = 10;
    for (int a = 0; a < 2; ++a)
        for (int d = 0; d < 3; ++d) {
            m.limits[a][d].adcLo = 100;
            m.limits[a][d].adcHi = 255;
        }
    m.nAdc = 200;
    m.nAgc = 128;
}
