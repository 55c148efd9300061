#include "base/warnings.h"

#include <mutex>
#include <utility>

namespace scalopex::base {

namespace {

std::mutex& HandlerLock()
{
    static std::mutex lock;
    return lock;
}

TWarningHandler& Handler()
{
    static TWarningHandler handler;
    return handler;
}

thread_local TWarningCapture* t_capture = nullptr;

}  // namespace

void SetWarningHandler(TWarningHandler handler)
{
    const std::lock_guard<std::mutex> guard(HandlerLock());
    Handler() = std::move(handler);
}

void Warn(const std::string& text)
{
    if (t_capture != nullptr) {
        t_capture->m_texts.push_back(text);
        return;
    }
    // Held while the handler runs, so that two decoding threads never show
    // their warnings interleaved and a handler is never replaced mid-call.
    const std::lock_guard<std::mutex> guard(HandlerLock());
    if (Handler())
        Handler()(text);
}

TWarningCapture::TWarningCapture() : m_outer(t_capture)
{
    t_capture = this;
}

TWarningCapture::~TWarningCapture()
{
    t_capture = m_outer;
}

std::vector<std::string> TWarningCapture::Take()
{
    return std::exchange(m_texts, {});
}

void Replay(const std::vector<std::string>& texts)
{
    for (const std::string& text : texts)
        Warn(text);
}

}  // namespace scalopex::base
