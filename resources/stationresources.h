#pragma once

// Registers the embedded images (":/Image/...") and the translation catalogue
// (":/Language/...") with the resource system. The resources sit in a static
// library, so a program (or test) calls this once before it uses them.
void InitStationResources();
