#include "platform/x11/X11Windows.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <memory>
#include <optional>
#include <vector>


namespace platform::x11 {

namespace {

struct TXFree {
  void operator()(void* p) const {
    if (p) XFree(p);
  }
};

// The raw value of a window property (format 8 or 32), or nothing.
std::optional<std::vector<unsigned char>> Property(Display* d, Window w, Atom prop, Atom type,
                                                   int& format, unsigned long& items) {
  Atom actual = None;
  unsigned long after = 0;
  unsigned char* raw = nullptr;
  if (XGetWindowProperty(d, w, prop, 0, 1 << 16, False, type, &actual, &format, &items, &after, &raw) != Success)
    return std::nullopt;
  std::unique_ptr<unsigned char, TXFree> data(raw);
  if (actual == None || !data) return std::nullopt;
  // Format 32 items are longs in Xlib's memory.
  const size_t unit = format == 32 ? sizeof(long) : static_cast<size_t>(format / 8);
  return std::vector<unsigned char>(data.get(), data.get() + items * unit);
}

std::string Latin1ToUtf8(const unsigned char* s, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    if (s[i] < 0x80) {
      out += static_cast<char>(s[i]);
    } else {
      out += static_cast<char>(0xC0 | (s[i] >> 6));
      out += static_cast<char>(0x80 | (s[i] & 0x3F));
    }
  }
  return out;
}

std::optional<std::string> WindowTitle(Display* d, Window w) {
  const Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
  int format = 0;
  unsigned long items = 0;
  if (auto v = Property(d, w, netName, utf8, format, items); v && format == 8)
    return std::string(v->begin(), v->end());
  XTextProperty text{};
  if (!XGetWMName(d, w, &text) || !text.value) return std::nullopt;
  std::unique_ptr<unsigned char, TXFree> keep(text.value);
  if (text.format != 8) return std::nullopt;
  if (text.encoding == XA_STRING) return Latin1ToUtf8(text.value, text.nitems);
  if (text.encoding == utf8) return std::string(reinterpret_cast<char*>(text.value), text.nitems);
  char** list = nullptr;
  int count = 0;
  if (Xutf8TextPropertyToTextList(d, &text, &list, &count) < Success || count < 1 || !list) return std::nullopt;
  std::string title = list[0];
  XFreeStringList(list);
  return title;
}

std::vector<Window> TopLevelWindows(Display* d, Window root) {
  std::vector<Window> result;
  const Atom clientList = XInternAtom(d, "_NET_CLIENT_LIST", True);
  if (clientList != None) {
    int format = 0;
    unsigned long items = 0;
    if (auto v = Property(d, root, clientList, XA_WINDOW, format, items); v && format == 32) {
      const long* ids = reinterpret_cast<const long*>(v->data());
      for (unsigned long i = 0; i < items; ++i) result.push_back(static_cast<Window>(ids[i]));
      return result;
    }
  }
  Window rootReturn = None, parent = None, *children = nullptr;
  unsigned int n = 0;
  if (XQueryTree(d, root, &rootReturn, &parent, &children, &n)) {
    std::unique_ptr<Window, TXFree> keep(children);
    // Topmost first: the window the user sees wins when titles repeat.
    for (unsigned int i = n; i-- > 0;) result.push_back(children[i]);
  }
  return result;
}

// The ancestor of AWindow that is a child of the root (the frame a
// reparenting window manager puts around it), or AWindow itself.
Window TopAncestor(Display* d, Window w) {
  for (;;) {
    Window root = None, parent = None, *children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n)) return w;
    if (children) XFree(children);
    if (parent == None || parent == root) return w;
    w = parent;
  }
}

}  // namespace

int WindowScreenRect(Display* d, TXErrorTrap& trap, Window w, bool client, TRect& r) {
  trap.Take();
  XWindowAttributes attr{};
  if (!XGetWindowAttributes(d, w, &attr)) {
    const int e = trap.Sync();
    return e ? e : BadWindow;
  }
  int x = 0, y = 0;
  Window child = None;
  if (!XTranslateCoordinates(d, w, attr.root, 0, 0, &x, &y, &child)) return BadWindow;
  if (const int e = trap.Sync()) return e;
  if (client) {
    r = {x, y, attr.width, attr.height};
    return 0;
  }
  const Window top = TopAncestor(d, w);
  if (top != w) {
    XWindowAttributes frame{};
    if (!XGetWindowAttributes(d, top, &frame)) return BadWindow;
    if (const int e = trap.Sync()) return e;
    r = {frame.x, frame.y, frame.width + 2 * frame.border_width, frame.height + 2 * frame.border_width};
    return 0;
  }
  // Not reparented: the border, plus the frame extents a window manager
  // that draws frames elsewhere announces.
  r = {x - attr.border_width, y - attr.border_width, attr.width + 2 * attr.border_width,
       attr.height + 2 * attr.border_width};
  const Atom extents = XInternAtom(d, "_NET_FRAME_EXTENTS", True);
  if (extents != None) {
    int format = 0;
    unsigned long items = 0;
    if (auto v = Property(d, w, extents, XA_CARDINAL, format, items); v && format == 32 && items == 4) {
      const long* e = reinterpret_cast<const long*>(v->data());
      r = {x - static_cast<int>(e[0]), y - static_cast<int>(e[2]), attr.width + static_cast<int>(e[0] + e[1]),
           attr.height + static_cast<int>(e[2] + e[3])};
    }
  }
  trap.Sync();
  return 0;
}

Window FindTopLevelByTitle(Display* d, TXErrorTrap& trap, const std::string& title) {
  trap.Take();
  for (int s = 0; s < ScreenCount(d); ++s) {
    for (Window w : TopLevelWindows(d, RootWindow(d, s))) {
      auto t = WindowTitle(d, w);
      // A window that vanished meanwhile is simply not a match.
      if (trap.Sync() == 0 && t && *t == title) return w;
    }
  }
  return None;
}

}  // namespace platform::x11
