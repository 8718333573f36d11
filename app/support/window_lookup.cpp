#include "support/window_lookup.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>
#include <cstdlib>
#include <cstring>

#include "support/app_error.h"

namespace {

// ---- X11: the client windows of the window system, through xcb ----------

template <class T>
struct Reply {
    T* p = nullptr;
    explicit Reply(T* reply) : p(reply) {}
    ~Reply() { std::free(p); }
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
};

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return r.p ? r.p->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The bytes of a property (any type), empty when it is missing.
std::string PropertyBytes(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property,
                          xcb_atom_t type) {
    if (property == XCB_ATOM_NONE) return {};
    Reply<xcb_get_property_reply_t> r(
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, property, type, 0, 4096), nullptr));
    if (!r.p || r.p->type == XCB_ATOM_NONE || r.p->format != 8) return {};
    const int n = xcb_get_property_value_length(r.p);
    return std::string(static_cast<const char*>(xcb_get_property_value(r.p)), std::size_t(n));
}

class XcbWindow : public TopLevelWindow {
  public:
    XcbWindow(xcb_connection_t* c, xcb_window_t root, xcb_window_t w, std::string caption,
              std::string className)
        : c_(c),
          root_(root),
          w_(w),
          caption_(std::move(caption)),
          className_(std::move(className)) {}
    std::string Caption() const override { return caption_; }
    std::string ClassName() const override { return className_; }
    void SetVisible(bool visible) override {
        if (visible) {
            xcb_map_window(c_, w_);
        } else {
            // Withdrawing a managed window: unmap it and tell the window
            // manager with a synthetic UnmapNotify on the root.
            xcb_unmap_window(c_, w_);
            xcb_unmap_notify_event_t e{};
            e.response_type = XCB_UNMAP_NOTIFY;
            e.event = root_;
            e.window = w_;
            e.from_configure = 0;
            xcb_send_event(
                c_, 0, root_,
                XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                reinterpret_cast<const char*>(&e));
        }
        xcb_flush(c_);
    }

  private:
    xcb_connection_t* c_;
    xcb_window_t root_, w_;
    std::string caption_, className_;
};

std::vector<xcb_window_t> ClientWindows(xcb_connection_t* c, xcb_window_t root) {
    std::vector<xcb_window_t> out;
    // The window manager's list of managed windows, when there is one.
    xcb_atom_t clientList = Atom(c, "_NET_CLIENT_LIST");
    if (clientList != XCB_ATOM_NONE) {
        Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(
            c, xcb_get_property(c, 0, root, clientList, XCB_ATOM_WINDOW, 0, 65536), nullptr));
        if (r.p && r.p->format == 32 && r.p->type == XCB_ATOM_WINDOW) {
            auto* w = static_cast<const xcb_window_t*>(xcb_get_property_value(r.p));
            out.assign(w, w + xcb_get_property_value_length(r.p) / 4);
        }
    }
    if (!out.empty()) return out;
    // Without a window manager the top-level windows are the root's children.
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr));
    if (!tree.p) ThrowError(kErrInvalidArgument, "The list of windows could not be read");
    const xcb_window_t* w = xcb_query_tree_children(tree.p);
    out.assign(w, w + xcb_query_tree_children_length(tree.p));
    return out;
}

WindowCollection XcbWindows(xcb_connection_t* c) {
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (!screen) ThrowError(kErrInvalidArgument, "The window system has no screen");
    const xcb_window_t root = screen->root;
    const xcb_atom_t netName = Atom(c, "_NET_WM_NAME"), utf8 = Atom(c, "UTF8_STRING");
    std::vector<std::unique_ptr<TopLevelWindow>> windows;
    for (xcb_window_t w : ClientWindows(c, root)) {
        std::string caption = PropertyBytes(c, w, netName, utf8);
        if (caption.empty())
            caption = PropertyBytes(c, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY);
        // WM_CLASS holds the instance name and then the class name.
        std::string cls = PropertyBytes(c, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING);
        const std::size_t nul = cls.find('\0');
        std::string className = nul == std::string::npos ? std::string() : cls.substr(nul + 1);
        if (!className.empty() && className.back() == '\0') className.pop_back();
        windows.push_back(
            std::make_unique<XcbWindow>(c, root, w, std::move(caption), std::move(className)));
    }
    return WindowCollection(std::move(windows));
}

// ---- Elsewhere: this program's own top-level widgets ---------------------

class WidgetWindow : public TopLevelWindow {
  public:
    explicit WidgetWindow(QWidget* w) : w_(w) {}
    std::string Caption() const override { return w_ ? w_->windowTitle().toStdString() : ""; }
    std::string ClassName() const override { return w_ ? w_->metaObject()->className() : ""; }
    void SetVisible(bool visible) override {
        if (w_) w_->setVisible(visible);
    }

  private:
    QPointer<QWidget> w_;
};

WindowCollection WidgetWindows() {
    std::vector<std::unique_ptr<TopLevelWindow>> windows;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isWindow()) windows.push_back(std::make_unique<WidgetWindow>(w));
    return WindowCollection(std::move(windows));
}

}  // namespace

TopLevelWindow* WindowCollection::FindByCaption(const std::string& caption,
                                                const std::string& className) const {
    for (const auto& w : windows_)
        if (w->Caption() == caption && (className.empty() || w->ClassName() == className))
            return w.get();
    return nullptr;
}

WindowCollection TopLevelWindows() {
    if (!qGuiApp) ThrowError(kErrInvalidArgument, "The window system is not open");
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
        if (xcb_connection_t* c = x11->connection()) return XcbWindows(c);
    return WidgetWindows();
}
