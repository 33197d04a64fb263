#pragma once

#include "download/services.h"

#include <functional>

// Runs job on a worker thread and returns when it has ended. Meanwhile the
// windows keep painting and the window system's events keep flowing, but all
// user input (keys, mouse, closing a window) is dropped. An exception thrown
// by job is thrown again here.
void RunKeepingWindowsAlive(const std::function<void()>& job);

// The download's services in the window: the exchange runs on a worker thread.
class WindowedDownloadServices : public DownloadServices
{
public:
    using DownloadServices::DownloadServices;
    void Execute(const std::function<void()>& job) override;
};
