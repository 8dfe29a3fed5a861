#include "hidbackend.h"

#include "udevhidbackend.h"

#include <mutex>

namespace {
std::mutex g_overrideMutex;
std::shared_ptr<CHidBackend> g_override;
} // namespace

CHidBackend::~CHidBackend() = default;

std::shared_ptr<CHidBackend> CHidBackend::Create()
{
    {
        std::lock_guard<std::mutex> lock(g_overrideMutex);
        if (g_override)
            return g_override;
    }
    return std::make_shared<CUdevHidBackend>();
}

void CHidBackend::SetOverride(std::shared_ptr<CHidBackend> backend)
{
    std::lock_guard<std::mutex> lock(g_overrideMutex);
    g_override = std::move(backend);
}
