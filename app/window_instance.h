#pragma once
// The windows that live for the whole program are reached through one global pointer
// each (Form1, Form3, ...). A WindowInstance owns such a window and points the global
// at it for exactly as long as the window lives.

#include <memory>
#include <utility>

namespace kelvo {

template <class Window>
class WindowInstance {
public:
    template <class... Args>
    explicit WindowInstance(Window*& global, Args&&... args)
        : global_(global), window_(std::make_unique<Window>(std::forward<Args>(args)...))
    {
        global_ = window_.get();
    }
    ~WindowInstance()
    {
        window_.reset();
        global_ = nullptr;
    }
    WindowInstance(const WindowInstance&) = delete;
    WindowInstance& operator=(const WindowInstance&) = delete;

    Window* get() const { return window_.get(); }
    Window* operator->() const { return window_.get(); }

private:
    Window*& global_;
    std::unique_ptr<Window> window_;
};

}  // namespace kelvo
