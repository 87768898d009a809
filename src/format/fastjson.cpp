#include "format/fastjson.h"

#include <atomic>

namespace fastjson {

namespace {

std::atomic<Mode> currentMode{Mode::Fast};
std::atomic<int> fallbacks{0};

} // namespace

void setMode(Mode mode)
{
    currentMode = mode;
}

Mode mode()
{
    return currentMode;
}

int fallbackCount()
{
    return fallbacks;
}

void countFallback()
{
    if (currentMode == Mode::Fast)
        ++fallbacks;
}

} // namespace fastjson
