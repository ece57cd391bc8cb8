#include "x_display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <functional>

namespace calibdemo {

struct XScreen::Connection {
    Display* display = nullptr;
    ~Connection() {
        if (display != nullptr) {
            XCloseDisplay(display);
        }
    }
};

namespace {

XErrorHandler previousErrorHandler = nullptr;

// Other programs' windows can go between listing them and asking about them (the calibration
// window closes as soon as OK is tapped): the call then just fails. Any other error is fatal,
// as it is by default.
int IgnoreVanishedWindows(Display* display, XErrorEvent* event) {
    if (event->error_code == BadWindow) {
        return 0;
    }
    return previousErrorHandler != nullptr ? previousErrorHandler(display, event) : 0;
}

// The window's title: _NET_WM_NAME (UTF-8), else WM_NAME.
std::string TitleOf(Display* display, Window window) {
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", True);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", True);
    if (netName != None && utf8 != None) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format,
                               &count, &after, &data) == Success &&
            data != nullptr) {
            std::string title(reinterpret_cast<char*>(data), count);
            XFree(data);
            if (!title.empty()) {
                return title;
            }
        }
    }
    char* name = nullptr;
    std::string title;
    if (XFetchName(display, window, &name) != 0 && name != nullptr) {
        title = name;
        XFree(name);
    }
    return title;
}

// The window's rectangle in screen coordinates, if it is viewable.
std::optional<Rect> ViewableRect(Display* display, Window window) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable) {
        return std::nullopt;
    }
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    return Rect{x, y, attributes.width, attributes.height};
}

// Visits the window tree below `window` until the visitor answers true.
bool Walk(Display* display, Window window, const std::function<bool(Window)>& visit) {
    if (visit(window)) {
        return true;
    }
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count) == 0) {
        return false;
    }
    bool found = false;
    for (unsigned int i = count; i-- > 0 && !found;) {  // topmost first
        found = Walk(display, children[i], visit);
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

}  // namespace

std::unique_ptr<XScreen> XScreen::Open(const std::string& display, std::string* error) {
    if (previousErrorHandler == nullptr) {
        previousErrorHandler = XSetErrorHandler(IgnoreVanishedWindows);
    }
    auto connection = std::make_unique<Connection>();
    connection->display = XOpenDisplay(display.c_str());
    if (connection->display == nullptr) {
        *error = "cannot open the X display " + display;
        return nullptr;
    }
    return std::unique_ptr<XScreen>(new XScreen(std::move(connection), display));
}

XScreen::XScreen(std::unique_ptr<Connection> connection, std::string name)
    : connection_(std::move(connection)), name_(std::move(name)) {
    const int screen = DefaultScreen(connection_->display);
    width_ = DisplayWidth(connection_->display, screen);
    height_ = DisplayHeight(connection_->display, screen);
}

XScreen::~XScreen() = default;

std::optional<std::pair<int, int>> XScreen::Pointer() const {
    Display* display = connection_->display;
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, winX = 0, winY = 0;
    unsigned int mask = 0;
    if (!XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rootX, &rootY, &winX,
                       &winY, &mask)) {
        return std::nullopt;
    }
    return std::pair{rootX, rootY};
}

std::optional<Rect> XScreen::FindWindow(const std::string& title) const {
    const std::optional<Frame> frame = FindFrame(title);
    return frame ? std::optional<Rect>(frame->inside) : std::nullopt;
}

std::optional<Frame> XScreen::FindFrame(const std::string& title) const {
    Display* display = connection_->display;
    const Window root = DefaultRootWindow(display);
    std::optional<Frame> found;
    Walk(display, root, [&](Window window) {
        if (window == root || TitleOf(display, window) != title) {
            return false;
        }
        const std::optional<Rect> outer = ViewableRect(display, window);
        if (!outer) {
            return false;
        }
        // The platform draws caption and frame inside the window; the client area is its
        // largest child window (none for a bare window).
        found = Frame{*outer, *outer};
        Window rootReturn = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(display, window, &rootReturn, &parent, &children, &count) == 0) {
            return true;
        }
        int largest = 0;
        for (unsigned int i = 0; i < count; ++i) {
            const std::optional<Rect> child = ViewableRect(display, children[i]);
            if (child && child->width * child->height > largest) {
                largest = child->width * child->height;
                found->inside = *child;
            }
        }
        if (children != nullptr) {
            XFree(children);
        }
        return true;
    });
    return found;
}

namespace {

// Some viewable window below the root whose screen rectangle passes the test.
bool AnyWindow(Display* display, const std::function<bool(const Rect&)>& test) {
    const Window root = DefaultRootWindow(display);
    return Walk(display, root, [&](Window window) {
        const std::optional<Rect> rect =
            window != root ? ViewableRect(display, window) : std::nullopt;
        return rect.has_value() && test(*rect);
    });
}

}  // namespace

bool XScreen::TaskBarShown() const {
    constexpr int kTallestBarPx = 80;
    return AnyWindow(connection_->display, [&](const Rect& r) {
        return r.x == 0 && r.width == width_ && r.height < kTallestBarPx &&
               r.y + r.height == height_;
    });
}

bool XScreen::FullScreenWindowShown() const {
    return AnyWindow(connection_->display, [&](const Rect& r) {
        return r.x == 0 && r.y == 0 && r.width == width_ && r.height == height_;
    });
}

std::vector<std::uint32_t> XScreen::Grab(const Rect& area) const {
    Display* display = connection_->display;
    std::vector<std::uint32_t> pixels;
    XImage* image = XGetImage(display, DefaultRootWindow(display), area.x, area.y,
                              static_cast<unsigned>(area.width), static_cast<unsigned>(area.height),
                              AllPlanes, ZPixmap);
    if (image == nullptr) {
        return pixels;
    }
    pixels.reserve(static_cast<std::size_t>(area.width) * static_cast<std::size_t>(area.height));
    for (int y = 0; y < area.height; ++y) {
        for (int x = 0; x < area.width; ++x) {
            pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF));
        }
    }
    XDestroyImage(image);
    return pixels;
}

bool XScreen::Screenshot(const std::string& pngPath) const {
    const std::string command =
        "import -display '" + name_ + "' -window root '" + pngPath + "' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

}  // namespace calibdemo
