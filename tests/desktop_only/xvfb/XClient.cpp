// pellucine-xclient: the whole-program test's own X client. It drives the
// running program the way a window manager and a user's eyes would:
//
//   pellucine-xclient make-photo OUT.png          a 600 x 400 photo: red left, blue right
//   pellucine-xclient wait-title TEXT TIMEOUT_MS  prints the id of the first top-level
//                                                 window whose title holds TEXT
//   pellucine-xclient has-colours WINDOW R,G,B... exit 0 when each colour covers at
//                                                 least 2% of the window's pixels
//   pellucine-xclient grab WINDOW OUT.ppm         the window's pixels (XGetImage)
//   pellucine-xclient close WINDOW                WM_PROTOCOLS / WM_DELETE_WINDOW, as a
//                                                 window manager asks a window to close
//   pellucine-xclient drop WINDOW FILE            drags FILE (as a text/uri-list) over the
//                                                 window's middle and drops it, as a file
//                                                 manager does (the XDND protocol)
//   pellucine-xclient find-text WINDOW BACKGROUND.ppm TEXT
//   pellucine-xclient find-image WINDOW BACKGROUND.ppm IMAGE [OPACITY]
//                                                 where the window shows TEXT (white, in the
//                                                 program's interface font) or one of the
//                                                 program's interface images (":/img/...",
//                                                 at half its drawn size, at OPACITY, 1 when
//                                                 not given): prints "X Y W H"
//                                                 for each place, top to bottom, or exits 1
//                                                 with "not found"; BACKGROUND is a grab of
//                                                 the window from before it appeared
//
// Exit status 0 on success, 1 on failure (with a line on standard error).

// Qt first: the X11 headers define macros (Bool, Status) that Qt's
// headers must not see.
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

int fail(const std::string& text) {
    std::fprintf(stderr, "pellucine-xclient: %s\n", text.c_str());
    return 1;
}

std::string windowTitle(Display* display, Window window) {
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
        title.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
    }
    if (title.empty()) {
        char* name = nullptr;
        if (XFetchName(display, window, &name) && name) {
            title = name;
            XFree(name);
        }
    }
    return title;
}

Window findWindow(Display* display, Window parent, const std::string& text, int depth) {
    Window root, up, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root, &up, &children, &count)) return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable &&
            windowTitle(display, children[i]).find(text) != std::string::npos)
            found = children[i];
        else if (depth < 2)
            found = findWindow(display, children[i], text, depth + 1);
    }
    if (children) XFree(children);
    return found;
}

XImage* grabWindow(Display* display, Window window) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes)) return nullptr;
    return XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
}

void pixelAt(XImage* image, int x, int y, int& r, int& g, int& b) {
    const unsigned long p = XGetPixel(image, x, y);
    auto channel = [p](unsigned long mask) {
        int shift = 0;
        while (mask && !(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        return mask ? static_cast<int>(((p >> shift) & mask) * 255 / mask) : 0;
    };
    r = channel(image->red_mask);
    g = channel(image->green_mask);
    b = channel(image->blue_mask);
}

void sendXdnd(Display* display, Window target, const char* message, long l0, long l1, long l2, long l3, long l4) {
    XEvent event;
    std::memset(&event, 0, sizeof(event));
    event.xclient.type = ClientMessage;
    event.xclient.window = target;
    event.xclient.message_type = XInternAtom(display, message, False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = l0;
    event.xclient.data.l[1] = l1;
    event.xclient.data.l[2] = l2;
    event.xclient.data.l[3] = l3;
    event.xclient.data.l[4] = l4;
    XSendEvent(display, target, False, NoEventMask, &event);
    XFlush(display);
}

// One drag of a file onto the window: the source window owns the XDND
// selection, announces the type text/uri-list, moves over the window's
// middle, drops when the target accepts, and hands the file's URL over when
// the target asks for the data. True once the target reports it finished.
bool dropFile(Display* display, Window target, const std::string& file) {
    const Window root = DefaultRootWindow(display);
    const Window source = XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0);
    const Atom selection = XInternAtom(display, "XdndSelection", False);
    const Atom uriList = XInternAtom(display, "text/uri-list", False);
    const Atom copy = XInternAtom(display, "XdndActionCopy", False);
    XSetSelectionOwner(display, selection, source, CurrentTime);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, target, &attributes);
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(display, target, root, attributes.width / 2, attributes.height / 2, &x, &y, &child);
    const long self = static_cast<long>(source);
    sendXdnd(display, target, "XdndEnter", self, 5L << 24, static_cast<long>(uriList), 0, 0);
    sendXdnd(display, target, "XdndPosition", self, 0, (static_cast<long>(x) << 16) | y, CurrentTime,
             static_cast<long>(copy));
    const std::string url = "file://" + file + "\r\n";
    bool dropped = false;
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(15)) {
        if (!XPending(display)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == SelectionRequest) {
            const XSelectionRequestEvent& request = event.xselectionrequest;
            XEvent reply;
            std::memset(&reply, 0, sizeof(reply));
            reply.xselection.type = SelectionNotify;
            reply.xselection.requestor = request.requestor;
            reply.xselection.selection = request.selection;
            reply.xselection.target = request.target;
            reply.xselection.time = request.time;
            reply.xselection.property = request.property ? request.property : request.target;
            XChangeProperty(display, request.requestor, reply.xselection.property, request.target, 8,
                            PropModeReplace, reinterpret_cast<const unsigned char*>(url.data()),
                            static_cast<int>(url.size()));
            XSendEvent(display, request.requestor, False, NoEventMask, &reply);
            XFlush(display);
        } else if (event.type == ClientMessage) {
            const std::string name = XGetAtomName(display, event.xclient.message_type);
            if (name == "XdndStatus" && !dropped) {
                if (!(event.xclient.data.l[1] & 1)) break;  // refused
                dropped = true;
                sendXdnd(display, target, "XdndDrop", self, 0, CurrentTime, 0, 0);
            } else if (name == "XdndFinished") {
                XDestroyWindow(display, source);
                return true;
            }
        }
    }
    if (!dropped) sendXdnd(display, target, "XdndLeave", self, 0, 0, 0, 0);
    XDestroyWindow(display, source);
    return false;
}

// ---- Finding what the program shows ----
//
// A template is what should appear, drawn by the toolkit on this display
// (so hinting and smoothing are the program's): a text in the program's own
// font, or an interface image from the program's resources scaled the way
// its buttons scale it. It is kept as the colour it adds to a sample and
// the share of the background it keeps, per channel (a text smoothed per
// sub-pixel covers the three channels differently). The program draws it
// over a background that a grab taken before it appeared still shows; each
// candidate place composes the template over that background and every
// sample of the box must lie within the tolerance. Samples are compared in
// order of coverage, so most places fail on their first few samples.

struct Template {
    QImage added;  // RGB32: the colour the template adds (premultiplied)
    QImage kept;   // RGB32: 255 times the share of the background kept
};

// The window's pixels as an RGB32 picture.
QImage grabAsImage(Display* display, Window window) {
    XImage* image = grabWindow(display, window);
    if (!image) return QImage();
    QImage grabbed(image->width, image->height, QImage::Format_RGB32);
    for (int y = 0; y < image->height; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(grabbed.scanLine(y));
        for (int x = 0; x < image->width; ++x) {
            int r, g, b;
            pixelAt(image, x, y, r, g, b);
            row[x] = qRgb(r, g, b);
        }
    }
    XDestroyImage(image);
    return grabbed;
}

// The program's labels: white, 11 pixels of its own Vera (the style sheet
// of main.cpp), drawn as the program draws them, on an opaque picture; on
// black, each channel's value is that channel's coverage. Several starts a
// quarter pixel apart, because the toolkit may place glyphs at fractions
// of a pixel (a right-aligned label starts wherever its text's width ends
// it); whole-pixel placement draws one picture for all.
std::vector<Template> textTemplates(const QString& text) {
    std::vector<Template> templates;
    const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/Vera.ttf"));
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (families.isEmpty()) return templates;
    QFont font(families.first());
    font.setPixelSize(11);
    const QFontMetricsF metrics(font);
    const int width = static_cast<int>(std::ceil(metrics.horizontalAdvance(text))) + 4;
    const int height = static_cast<int>(std::ceil(metrics.height())) + 2;
    for (int quarter = 0; quarter < 4; ++quarter) {
        QImage added(width, height, QImage::Format_RGB32);
        added.fill(Qt::black);
        QPainter painter(&added);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QPointF(2.0 + quarter * 0.25, 1.0 + metrics.ascent()), text);
        painter.end();
        bool drawn = false;
        for (const Template& earlier : templates) drawn = drawn || earlier.added == added;
        if (drawn) continue;
        QImage kept = added;
        kept.invertPixels();
        templates.push_back({added, kept});
    }
    return templates;
}

// An interface image as the program's buttons show it on a screen of
// device-pixel ratio 1: drawn at twice its size and shown at half, through
// a smooth scale (the render queue's rows, which scale the image first) or
// through a smooth drawing at the given opacity (VxPushButton, which draws
// an image without an active twin at half opacity while idle).
std::vector<Template> imageTemplates(const QString& name, double opacity) {
    std::vector<Template> templates;
    const QImage image(name);
    if (image.isNull()) return templates;
    const int width = static_cast<int>(std::lround(image.width() / 2.0));
    const int height = static_cast<int>(std::lround(image.height() / 2.0));
    QImage shown;
    if (opacity >= 1.0) {
        shown = image.scaled(width, height, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                    .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    } else {
        shown = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
        shown.fill(Qt::transparent);
        QPainter painter(&shown);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setOpacity(opacity);
        painter.drawImage(QRectF(0, 0, image.width() / 2.0, image.height() / 2.0), image, QRectF(image.rect()));
    }
    QImage added(shown.size(), QImage::Format_RGB32), kept(shown.size(), QImage::Format_RGB32);
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) {
            const QRgb raw = reinterpret_cast<const QRgb*>(shown.constScanLine(y))[x];  // premultiplied
            const int keep = 255 - qAlpha(raw);
            added.setPixel(x, y, qRgb(qRed(raw), qGreen(raw), qBlue(raw)));
            kept.setPixel(x, y, qRgb(keep, keep, keep));
        }
    templates.push_back({added, kept});
    return templates;
}

// Per sample: the toolkit here draws the same bits as in the program, so
// found places match exactly; the margin only absorbs rounding of another
// blending path.
constexpr int kTolerance = 8;

struct Match {
    int x, y, width, height;
};

// Every place where a template, composed over the background, equals the
// screen within `tolerance` per sample; overlapping places count once.
std::vector<Match> findTemplates(const QImage& screen, const QImage& background,
                                 const std::vector<Template>& templates, int tolerance) {
    std::vector<Match> found;
    for (const Template& t : templates) {
        const int tw = t.added.width(), th = t.added.height();
        if (tw > screen.width() || th > screen.height()) continue;
        struct Sample {
            int x, y;
            int added[3], kept[3];
        };
        std::vector<Sample> samples;
        for (int y = 0; y < th; ++y)
            for (int x = 0; x < tw; ++x) {
                const QRgb a = t.added.pixel(x, y), k = t.kept.pixel(x, y);
                samples.push_back({x, y, {qRed(a), qGreen(a), qBlue(a)}, {qRed(k), qGreen(k), qBlue(k)}});
            }
        // The template's own pixels first, then its surroundings.
        std::stable_sort(samples.begin(), samples.end(), [](const Sample& a, const Sample& b) {
            return a.kept[0] + a.kept[1] + a.kept[2] < b.kept[0] + b.kept[1] + b.kept[2];
        });
        for (int y = 0; y + th <= screen.height(); ++y)
            for (int x = 0; x + tw <= screen.width(); ++x) {
                bool same = true;
                for (size_t i = 0; i < samples.size() && same; ++i) {
                    const Sample& sample = samples[i];
                    const QRgb s = screen.pixel(x + sample.x, y + sample.y);
                    const QRgb b = background.pixel(x + sample.x, y + sample.y);
                    const int on[3] = {qRed(s), qGreen(s), qBlue(s)};
                    const int under[3] = {qRed(b), qGreen(b), qBlue(b)};
                    for (int c = 0; c < 3 && same; ++c)
                        same = std::abs(on[c] - (sample.added[c] + (under[c] * sample.kept[c] + 127) / 255)) <=
                               tolerance;
                }
                if (!same) continue;
                bool overlaps = false;
                for (const Match& m : found)
                    overlaps = overlaps || (x < m.x + m.width && m.x < x + tw && y < m.y + m.height && m.y < y + th);
                if (!overlaps) found.push_back({x, y, tw, th});
            }
    }
    std::sort(found.begin(), found.end(),
              [](const Match& a, const Match& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
    return found;
}

Window parseWindow(const char* text) { return static_cast<Window>(std::strtoul(text, nullptr, 0)); }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return fail("usage: make-photo | wait-title | has-colours | grab | close | drop | find-text | find-image ...");
    const std::string command = argv[1];
    if (command == "make-photo") {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        QGuiApplication app(argc, argv);
        QImage photo(600, 400, QImage::Format_RGB32);
        for (int y = 0; y < 400; ++y)
            for (int x = 0; x < 600; ++x)
                photo.setPixel(x, y, x < 300 ? qRgb(220, 40, 30) : qRgb(30, 60, 210));
        return photo.save(QString::fromLocal8Bit(argv[2]), "PNG") ? 0 : fail("cannot write the photo");
    }
    if ((command == "find-text" || command == "find-image") && argc >= 5) {
        // The toolkit on this display, so that text is drawn with the
        // display's font settings, as the program draws it.
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        QGuiApplication app(argc, argv);
        Display* display = XOpenDisplay(nullptr);
        if (!display) return fail("cannot open the display");
        const QImage background = QImage(QString::fromLocal8Bit(argv[3])).convertToFormat(QImage::Format_RGB32);
        const QImage screen = grabAsImage(display, parseWindow(argv[2]));
        XCloseDisplay(display);
        if (screen.isNull() || background.size() != screen.size())
            return fail("the background and the window differ in size or cannot be read");
        const QString what = QString::fromUtf8(argv[4]);
        const std::vector<Template> templates =
            command == "find-text" ? textTemplates(what) : imageTemplates(what, argc >= 6 ? std::atof(argv[5]) : 1.0);
        if (templates.empty()) return fail("cannot draw " + std::string(argv[4]));
        const std::vector<Match> found = findTemplates(screen, background, templates, kTolerance);
        if (found.empty()) {
            std::printf("not found\n");
            return 1;
        }
        for (const Match& m : found) std::printf("%d %d %d %d\n", m.x, m.y, m.width, m.height);
        return 0;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) return fail("cannot open the display");
    int status = 0;
    if (command == "wait-title" && argc >= 4) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::atoi(argv[3]));
        Window found = 0;
        while (!found && std::chrono::steady_clock::now() < deadline) {
            found = findWindow(display, DefaultRootWindow(display), argv[2], 0);
            if (!found) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (found)
            std::printf("0x%lx\n", found);
        else
            status = fail(std::string("no window titled ") + argv[2]);
    } else if (command == "has-colours" && argc >= 4) {
        XImage* image = grabWindow(display, parseWindow(argv[2]));
        if (!image) {
            status = fail("cannot read the window");
        } else {
            const long total = static_cast<long>(image->width) * image->height;
            for (int i = 3; i < argc && status == 0; ++i) {
                int want[3] = {0, 0, 0};
                if (std::sscanf(argv[i], "%d,%d,%d", &want[0], &want[1], &want[2]) != 3) {
                    status = fail("colours are R,G,B");
                    break;
                }
                long hits = 0;
                for (int y = 0; y < image->height; ++y)
                    for (int x = 0; x < image->width; ++x) {
                        int r, g, b;
                        pixelAt(image, x, y, r, g, b);
                        if (std::abs(r - want[0]) <= 24 && std::abs(g - want[1]) <= 24 && std::abs(b - want[2]) <= 24)
                            ++hits;
                    }
                std::printf("%s: %ld of %ld pixels\n", argv[i], hits, total);
                if (hits * 50 < total) status = 1;
            }
            XDestroyImage(image);
        }
    } else if (command == "grab" && argc >= 4) {
        XImage* image = grabWindow(display, parseWindow(argv[2]));
        FILE* out = image ? std::fopen(argv[3], "wb") : nullptr;
        if (!out) {
            status = fail("cannot grab the window or write the file");
        } else {
            std::fprintf(out, "P6\n%d %d\n255\n", image->width, image->height);
            std::vector<unsigned char> row(static_cast<size_t>(image->width) * 3);
            for (int y = 0; y < image->height; ++y) {
                for (int x = 0; x < image->width; ++x) {
                    int r, g, b;
                    pixelAt(image, x, y, r, g, b);
                    row[x * 3] = static_cast<unsigned char>(r);
                    row[x * 3 + 1] = static_cast<unsigned char>(g);
                    row[x * 3 + 2] = static_cast<unsigned char>(b);
                }
                std::fwrite(row.data(), 1, row.size(), out);
            }
            std::fclose(out);
        }
        if (image) XDestroyImage(image);
    } else if (command == "close") {
        const Window window = parseWindow(argv[2]);
        XEvent event;
        std::memset(&event, 0, sizeof(event));
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        if (!XSendEvent(display, window, False, NoEventMask, &event)) status = fail("cannot send the close request");
        XFlush(display);
    } else if (command == "drop" && argc >= 4) {
        if (!dropFile(display, parseWindow(argv[2]), argv[3])) status = fail("the window did not take the drop");
    } else {
        status = fail("unknown command " + command);
    }
    XCloseDisplay(display);
    return status;
}
