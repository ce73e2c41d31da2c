#include "platform/MMError.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex HandlerLock;
TMMExceptionHandler &Handler() {
    static TMMExceptionHandler handler;
    return handler;
}

} // namespace

void SetApplicationExceptionHandler(TMMExceptionHandler Handler_) {
    std::lock_guard<std::mutex> lock(HandlerLock);
    Handler() = std::move(Handler_);
}

void HandleApplicationException(std::exception_ptr Error) {
    if (!Error) return;
    TMMExceptionHandler handler;
    {
        std::lock_guard<std::mutex> lock(HandlerLock);
        handler = Handler();
    }
    try {
        if (handler) {
            handler(Error);
            return;
        }
        std::rethrow_exception(Error);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "unknown exception\n");
    }
}
