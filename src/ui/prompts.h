// The one way the window asks the user something modal. Interactive: a modal
// QMessageBox titled "tessaron". Headless (offscreen or minimal platform):
// the text goes to standard error as one line and the call returns as if
// the user had confirmed. Tests hand the window a recorder instead.
#pragma once

#include <string>

class QWidget;

namespace tess {

class Prompts {
  public:
    explicit Prompts(bool headless);
    virtual ~Prompts() = default;
    Prompts(const Prompts&) = delete;
    Prompts& operator=(const Prompts&) = delete;

    bool headless() const { return headless_; }
    virtual void message_box(QWidget* parent, const std::string& text);

    // True on Qt's offscreen and minimal platforms (nobody sees a window).
    static bool headless_platform();
    // The text as one line: line ends become spaces, trailing ones go.
    static std::string one_line(const std::string& text);

  private:
    bool headless_;
};

}  // namespace tess
