#pragma once
/// The process-wide hook through which decoders report irregularities they
/// recover from (a JPEG strip that ends early, for example). The engine only
/// hands the text on: the window shows it, the batch command prints it.
/// Without a handler warnings go nowhere.

#include <functional>
#include <string>
#include <vector>

namespace scalopex::base {

using TWarningHandler = std::function<void(const std::string& text)>;

/// Replaces the handler; an empty one silences warnings. Thread-safe.
void SetWarningHandler(TWarningHandler handler);

/// Hands text to the handler, from any thread; calls are serialised, so a
/// handler must not warn itself. While a TWarningCapture lives on the calling
/// thread, the text is kept there instead.
void Warn(const std::string& text);

/// Keeps the warnings of the calling thread while it lives, so that a file
/// opened ahead on a worker shows its warnings in its own turn.
class TWarningCapture {
public:
    TWarningCapture();
    ~TWarningCapture();
    TWarningCapture(const TWarningCapture&) = delete;
    TWarningCapture& operator=(const TWarningCapture&) = delete;

    /// The warnings kept so far, in the order they came; the capture is emptied.
    std::vector<std::string> Take();

private:
    friend void Warn(const std::string& text);
    std::vector<std::string> m_texts;
    TWarningCapture* m_outer;
};

/// Hands each text on with Warn, in order.
void Replay(const std::vector<std::string>& texts);

}  // namespace scalopex::base
