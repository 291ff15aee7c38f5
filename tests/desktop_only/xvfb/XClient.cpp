// pellucine-xclient: the whole-program test's own X client. It drives the
// running program the way a window manager and a user's eyes would:
//
//   pellucine-xclient make-photo OUT.png [W H R,G,B]
//                                                 a 600 x 400 photo: red left, blue right;
//                                                 or W x H of one colour
//   pellucine-xclient wait-title TEXT TIMEOUT_MS  prints the id of the first top-level
//                                                 window whose title holds TEXT
//   pellucine-xclient wait-gone TEXT TIMEOUT_MS   exit 0 once no shown window's title
//                                                 holds TEXT
//   pellucine-xclient count-titled TEXT           prints how many shown windows are
//                                                 titled exactly TEXT
//   pellucine-xclient focus WINDOW TIMEOUT_MS     gives WINDOW the keyboard focus and
//                                                 waits until the server reports it there
//   pellucine-xclient wait-settled WINDOW OUT.ppm TIMEOUT_MS
//                                                 grabs the window until two grabs half
//                                                 a second apart are equal; writes that one
//   pellucine-xclient has-colours WINDOW R,G,B... exit 0 when each colour covers at
//                                                 least 2% of the window's pixels
//   pellucine-xclient grab WINDOW OUT.ppm         the window's pixels (XGetImage)
//   pellucine-xclient close WINDOW                WM_PROTOCOLS / WM_DELETE_WINDOW, as a
//                                                 window manager asks a window to close
//   pellucine-xclient drop WINDOW FILE            drags FILE (as a text/uri-list) over the
//                                                 window's middle and drops it, as a file
//                                                 manager does (the XDND protocol)
//   pellucine-xclient find-text-flat WINDOW TEXT [PIXELS R,G,B]
//                                                 where the window shows TEXT (white, in the
//                                                 interface font; or PIXELS high in colour
//                                                 R,G,B, as a dialog's detail line) whole over
//                                                 a flat colour, such as a label's box over a
//                                                 one-coloured photo: prints "X Y W H" for
//                                                 each place
//   pellucine-xclient find-text WINDOW BACKGROUND.ppm TEXT
//   pellucine-xclient find-image WINDOW BACKGROUND.ppm IMAGE [OPACITY]
//                                                 where the window shows TEXT (white, in the
//                                                 program's interface font) or one of the
//                                                 program's interface images (":/img/...",
//                                                 at half its drawn size, at OPACITY, 1 when
//                                                 not given): prints "X Y W H"
//                                                 for each place, top to bottom, or exits 1
//                                                 with "not found"; BACKGROUND is a grab of
//                                                 the window from before it appeared; in
//                                                 place of WINDOW, a grab kept by wait-text
//                                                 (a path) is looked at instead
//   pellucine-xclient wait-text WINDOW BACKGROUND.ppm TIMEOUT_MS [--keep GRAB.ppm] TEXT...
//                                                 grabs the window until it shows one of
//                                                 the TEXTs as find-text finds them, each
//                                                 grab looked at for every TEXT: prints the
//                                                 number of the TEXT found (1 for the first),
//                                                 then its places, one a line; --keep writes
//                                                 the grab that showed it
//
// Exit status 0 on success, 1 on failure (with a line on standard error).
// Every wait polls the server until its deadline; a window that goes away
// while it is looked at is a window not found, never the end of the client.

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
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

int fail(const std::string& text) {
    std::fprintf(stderr, "pellucine-xclient: %s\n", text.c_str());
    return 1;
}

// Windows come and go while the client looks at them: a dialog closes
// between the listing of the window tree and the reading of one of its
// windows. Xlib's default handler ends the client on the first such error;
// this one lets the request fail instead (every caller checks the result)
// and stays silent for the errors a vanished or unmapped window gives.
int tolerateErrors(Display* display, XErrorEvent* error) {
    if (error->error_code == BadWindow || error->error_code == BadDrawable || error->error_code == BadMatch)
        return 0;
    char text[256];
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::fprintf(stderr, "pellucine-xclient: X error %s (request %d)\n", text, error->request_code);
    return 0;
}

Display* openDisplay() {
    XSetErrorHandler(tolerateErrors);
    return XOpenDisplay(nullptr);
}

using Clock = std::chrono::steady_clock;

Clock::time_point deadlineIn(const char* milliseconds) {
    return Clock::now() + std::chrono::milliseconds(std::max(0, std::atoi(milliseconds)));
}

void pause(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

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

// The shown windows near the top of the tree (top-level windows and, under
// a window manager, the frames' children) whose title holds TEXT, or equals
// it when `exact`; at most `limit` of them.
std::vector<Window> titledWindows(Display* display, Window parent, const std::string& text, bool exact, size_t limit,
                                  int depth = 0) {
    std::vector<Window> found;
    Window root, up, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root, &up, &children, &count)) return found;
    for (unsigned int i = 0; i < count && found.size() < limit; ++i) {
        XWindowAttributes attributes;
        const std::string title = windowTitle(display, children[i]);
        const bool matches = exact ? title == text : title.find(text) != std::string::npos;
        if (matches && XGetWindowAttributes(display, children[i], &attributes) &&
            attributes.map_state == IsViewable) {
            found.push_back(children[i]);
        } else if (depth < 2) {
            for (Window w : titledWindows(display, children[i], text, exact, limit - found.size(), depth + 1))
                found.push_back(w);
        }
    }
    if (children) XFree(children);
    return found;
}

Window findWindow(Display* display, const std::string& text) {
    const std::vector<Window> found = titledWindows(display, DefaultRootWindow(display), text, false, 1);
    return found.empty() ? 0 : found.front();
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
    if (!XGetWindowAttributes(display, target, &attributes)) {
        XDestroyWindow(display, source);
        return false;
    }
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
            char* atom = XGetAtomName(display, event.xclient.message_type);
            const std::string name = atom ? atom : "";
            if (atom) XFree(atom);
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
    double start = 0.0;  // a text's: where its first glyph starts in the box
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
QFont interfaceFont(int pixels = 11) {
    const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/Vera.ttf"));
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    QFont font(families.isEmpty() ? QString() : families.first());
    font.setPixelSize(pixels);
    return font;
}

// TEXT in `pen` (white unless given) over BACKGROUND, its first glyph at
// `start` in a box 2 pixels wider than the text on each side and a pixel
// taller at each end.
QImage drawnText(const QFont& font, const QString& text, double start, QColor background,
                 QColor pen = Qt::white) {
    const QFontMetricsF metrics(font);
    const int width = static_cast<int>(std::ceil(metrics.horizontalAdvance(text))) + 4;
    const int height = static_cast<int>(std::ceil(metrics.height())) + 2;
    QImage drawn(width, height, QImage::Format_RGB32);
    drawn.fill(background);
    QPainter painter(&drawn);
    painter.setFont(font);
    painter.setPen(pen);
    painter.drawText(QPointF(start, 1.0 + metrics.ascent()), text);
    return drawn;
}

// Starts `steps` apart within a pixel: quarters serve a label whose text
// starts where its width ends it; a centred label starts wherever half its
// spare width puts it, and each glyph falls into its quarter by that start,
// so those take the toolkit's own precision, a 64th (identical pictures
// count once).
std::vector<Template> textTemplates(const QString& text, int steps = 4, int pixels = 11) {
    std::vector<Template> templates;
    if (QFontDatabase::applicationFontFamilies(
            QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/Vera.ttf"))).isEmpty())
        return templates;
    const QFont font = interfaceFont(pixels);
    for (int step = 0; step < steps; ++step) {
        const double start = 2.0 + static_cast<double>(step) / steps;
        const QImage added = drawnText(font, text, start, Qt::black);
        bool drawn = false;
        for (const Template& earlier : templates) drawn = drawn || earlier.added == added;
        if (drawn) continue;
        QImage kept = added;
        kept.invertPixels();
        templates.push_back({added, kept, start});
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

// A found place, unless it overlaps one found before.
void addPlace(std::vector<Match>& found, const Match& place) {
    for (const Match& m : found)
        if (place.x < m.x + m.width && m.x < place.x + place.width && place.y < m.y + m.height &&
            m.y < place.y + place.height)
            return;
    found.push_back(place);
}

std::vector<Match> topToBottom(std::vector<Match> found) {
    std::sort(found.begin(), found.end(),
              [](const Match& a, const Match& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
    return found;
}

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
                if (same) addPlace(found, {x, y, tw, th});
            }
    }
    return topToBottom(found);
}

// Every place where TEXT shows whole over a flat colour: the colour is read
// under the template's reference sample (the uncovered sample nearest its
// middle, between the glyphs), the text is drawn over that colour as the
// program draws it (the toolkit blends text in its own way, not as a plain
// mix), and every sample the text covers must match: a text cut off by its
// box does not. Samples the text covers almost fully must be near white on
// the screen before a place is drawn for; the colour must be darker than
// the text, so that a white area of the screen is no match. "Near" and
// "darker" are within 55 of the text's darkest channel (200 for white).
std::vector<Match> findTextOnFlat(const QImage& screen, const QString& text, int tolerance, int pixels = 11,
                                  QColor pen = Qt::white) {
    std::vector<Match> found;
    const QFont font = interfaceFont(pixels);
    const int light = std::min({pen.red(), pen.green(), pen.blue()}) - 55;
    for (const Template& t : textTemplates(text, 64, pixels)) {
        const int tw = t.added.width(), th = t.added.height();
        if (tw > screen.width() || th > screen.height()) continue;
        std::vector<QPoint> covered, solid;
        QPoint reference(-1, -1);
        long nearest = -1;
        for (int y = 0; y < th; ++y)
            for (int x = 0; x < tw; ++x) {
                const QRgb k = t.kept.pixel(x, y);
                const int kept = std::max({qRed(k), qGreen(k), qBlue(k)});
                if (kept == 255 && std::min({qRed(k), qGreen(k), qBlue(k)}) == 255) {
                    const long distance = static_cast<long>(2 * x - tw) * (2 * x - tw) + (2 * y - th) * (2 * y - th);
                    if (nearest < 0 || distance < nearest) {
                        nearest = distance;
                        reference = QPoint(x, y);
                    }
                    continue;
                }
                covered.push_back(QPoint(x, y));
                if (kept <= 25) solid.push_back(QPoint(x, y));
            }
        if (reference.x() < 0 || solid.empty()) continue;
        std::map<QRgb, QImage> overColour;
        auto at = [&screen](int x, int y) { return reinterpret_cast<const QRgb*>(screen.constScanLine(y))[x]; };
        for (int y = 0; y + th <= screen.height(); ++y)
            for (int x = 0; x + tw <= screen.width(); ++x) {
                const QRgb flat = at(x + reference.x(), y + reference.y());
                if (std::max({qRed(flat), qGreen(flat), qBlue(flat)}) > light) continue;
                bool near = true;
                for (size_t i = 0; i < solid.size() && near; ++i) {
                    const QRgb s = at(x + solid[i].x(), y + solid[i].y());
                    near = std::min({qRed(s), qGreen(s), qBlue(s)}) >= light;
                }
                if (!near) continue;
                auto drawn = overColour.find(flat);
                if (drawn == overColour.end())
                    drawn = overColour.emplace(flat, drawnText(font, text, t.start, QColor(flat), pen)).first;
                bool same = true;
                for (size_t i = 0; i < covered.size() && same; ++i) {
                    const QRgb s = at(x + covered[i].x(), y + covered[i].y());
                    const QRgb d = drawn->second.pixel(covered[i]);
                    same = std::abs(qRed(s) - qRed(d)) <= tolerance && std::abs(qGreen(s) - qGreen(d)) <= tolerance &&
                           std::abs(qBlue(s) - qBlue(d)) <= tolerance;
                }
                if (same) addPlace(found, {x, y, tw, th});
            }
    }
    return topToBottom(found);
}

Window parseWindow(const char* text) { return static_cast<Window>(std::strtoul(text, nullptr, 0)); }

// A window is given by its number; a kept grab by its path.
bool isGrabFile(const char* text) { return std::strchr(text, '/') != nullptr; }

// The window's pixels written as a binary PPM.
bool writePpm(XImage* image, const char* path) {
    FILE* out = image ? std::fopen(path, "wb") : nullptr;
    if (!out) return false;
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
    return std::fclose(out) == 0;
}

bool sameImage(XImage* a, XImage* b) {
    if (!a || !b || a->width != b->width || a->height != b->height) return false;
    for (int y = 0; y < a->height; ++y)
        for (int x = 0; x < a->width; ++x)
            if (XGetPixel(a, x, y) != XGetPixel(b, x, y)) return false;
    return true;
}

// The server's focus is on the window or inside it.
bool focusIn(Display* display, Window window) {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    while (focus && focus != PointerRoot) {
        if (focus == window) return true;
        Window root, up, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, focus, &root, &up, &children, &count)) return false;
        if (children) XFree(children);
        if (up == root) return false;
        focus = up;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return fail("usage: make-photo | wait-title | wait-gone | count-titled | focus | has-colours | grab | "
                    "wait-settled | close | drop | find-text | wait-text | find-text-flat | find-image ...");
    const std::string command = argv[1];
    if (command == "make-photo") {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        QGuiApplication app(argc, argv);
        int width = 600, height = 400, flat[3] = {-1, -1, -1};
        if (argc >= 6 && (std::sscanf(argv[5], "%d,%d,%d", &flat[0], &flat[1], &flat[2]) != 3 ||
                          (width = std::atoi(argv[3])) < 1 || (height = std::atoi(argv[4])) < 1))
            return fail("make-photo OUT.png [W H R,G,B]");
        QImage photo(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                photo.setPixel(x, y, flat[0] >= 0          ? qRgb(flat[0], flat[1], flat[2])
                                     : x < width / 2 ? qRgb(220, 40, 30)
                                                     : qRgb(30, 60, 210));
        return photo.save(QString::fromLocal8Bit(argv[2]), "PNG") ? 0 : fail("cannot write the photo");
    }
    if ((command == "find-text" || command == "find-image") && argc >= 5) {
        // The toolkit on this display, so that text is drawn with the
        // display's font settings, as the program draws it.
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        QGuiApplication app(argc, argv);
        Display* display = openDisplay();
        if (!display) return fail("cannot open the display");
        const QImage background = QImage(QString::fromLocal8Bit(argv[3])).convertToFormat(QImage::Format_RGB32);
        const QImage screen = isGrabFile(argv[2])
                                  ? QImage(QString::fromLocal8Bit(argv[2])).convertToFormat(QImage::Format_RGB32)
                                  : grabAsImage(display, parseWindow(argv[2]));
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
    if (command == "wait-text" && argc >= 6) {
        // One client for the whole wait, polling with its templates drawn
        // once: a label that stays for about a second is caught even on a
        // loaded machine, where starting a client for every look may take
        // that long. Several texts are looked for in every grab, so a wait
        // for whichever of two labels comes is as quick as a wait for one.
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        QGuiApplication app(argc, argv);
        Display* display = openDisplay();
        if (!display) return fail("cannot open the display");
        const QImage background = QImage(QString::fromLocal8Bit(argv[3])).convertToFormat(QImage::Format_RGB32);
        const bool keep = std::strcmp(argv[5], "--keep") == 0;
        const int first = keep ? 7 : 5;
        if (first >= argc) {
            XCloseDisplay(display);
            return fail("wait-text WINDOW BACKGROUND.ppm TIMEOUT_MS [--keep GRAB.ppm] TEXT...");
        }
        std::vector<std::vector<Template>> texts;
        for (int i = first; i < argc; ++i) {
            texts.push_back(textTemplates(QString::fromUtf8(argv[i])));
            if (texts.back().empty()) {
                XCloseDisplay(display);
                return fail("cannot draw " + std::string(argv[i]));
            }
        }
        const Window window = parseWindow(argv[2]);
        const auto deadline = deadlineIn(argv[4]);
        bool readable = false;
        for (;;) {
            const QImage screen = grabAsImage(display, window);
            // A window that cannot be read now (going away, being resized)
            // is looked at again until the deadline.
            readable = !screen.isNull() && background.size() == screen.size();
            for (size_t i = 0; readable && i < texts.size(); ++i) {
                const std::vector<Match> found = findTemplates(screen, background, texts[i], kTolerance);
                if (found.empty()) continue;
                XCloseDisplay(display);
                if (keep && !screen.save(QString::fromLocal8Bit(argv[6]), "PPM"))
                    return fail("cannot write " + std::string(argv[6]));
                std::printf("%zu\n", i + 1);
                for (const Match& m : found) std::printf("%d %d %d %d\n", m.x, m.y, m.width, m.height);
                return 0;
            }
            if (Clock::now() >= deadline) break;
            pause(50);
        }
        XCloseDisplay(display);
        if (!readable) return fail("the background and the window differ in size or cannot be read");
        std::printf("not found\n");
        return 1;
    }
    if (command == "find-text-flat" && argc >= 4) {
        int pixels = 11, pen[3] = {255, 255, 255};
        if (argc >= 6 && ((pixels = std::atoi(argv[4])) < 1 ||
                          std::sscanf(argv[5], "%d,%d,%d", &pen[0], &pen[1], &pen[2]) != 3))
            return fail("find-text-flat WINDOW TEXT [PIXELS R,G,B]");
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        QGuiApplication app(argc, argv);
        Display* display = openDisplay();
        if (!display) return fail("cannot open the display");
        const QImage screen = grabAsImage(display, parseWindow(argv[2]));
        XCloseDisplay(display);
        if (screen.isNull()) return fail("cannot read the window");
        const std::vector<Match> found =
            findTextOnFlat(screen, QString::fromUtf8(argv[3]), kTolerance, pixels, QColor(pen[0], pen[1], pen[2]));
        if (found.empty()) {
            std::printf("not found\n");
            return 1;
        }
        for (const Match& m : found) std::printf("%d %d %d %d\n", m.x, m.y, m.width, m.height);
        return 0;
    }
    Display* display = openDisplay();
    if (!display) return fail("cannot open the display");
    int status = 0;
    if (command == "wait-title" && argc >= 4) {
        const auto deadline = deadlineIn(argv[3]);
        Window found = findWindow(display, argv[2]);
        while (!found && Clock::now() < deadline) {
            pause(100);
            found = findWindow(display, argv[2]);
        }
        if (found)
            std::printf("0x%lx\n", found);
        else
            status = fail(std::string("no window titled ") + argv[2]);
    } else if (command == "wait-gone" && argc >= 4) {
        const auto deadline = deadlineIn(argv[3]);
        bool shown = findWindow(display, argv[2]) != 0;
        while (shown && Clock::now() < deadline) {
            pause(100);
            shown = findWindow(display, argv[2]) != 0;
        }
        if (shown) status = fail(std::string("a window titled ") + argv[2] + " is still shown");
    } else if (command == "count-titled") {
        std::printf("%zu\n", titledWindows(display, DefaultRootWindow(display), argv[2], true, 1000).size());
    } else if (command == "focus" && argc >= 4) {
        // The focus is asked for again on every pass: a window being mapped
        // refuses it (BadMatch) until it is viewable.
        const Window window = parseWindow(argv[2]);
        const auto deadline = deadlineIn(argv[3]);
        bool focused = false;
        do {
            XSetInputFocus(display, window, RevertToParent, CurrentTime);
            XSync(display, False);
            focused = focusIn(display, window);
            if (!focused) pause(50);
        } while (!focused && Clock::now() < deadline);
        if (!focused) status = fail("the window did not take the focus");
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
        if (!writePpm(image, argv[3])) status = fail("cannot grab the window or write the file");
        if (image) XDestroyImage(image);
    } else if (command == "wait-settled" && argc >= 5) {
        // Half a second without a change: the display's passes, a slide or
        // a progress label have come to rest.
        const Window window = parseWindow(argv[2]);
        const auto deadline = deadlineIn(argv[4]);
        XImage* last = grabWindow(display, window);
        bool settled = false;
        while (last && !settled && Clock::now() < deadline) {
            pause(500);
            XImage* next = grabWindow(display, window);
            settled = sameImage(last, next);
            XDestroyImage(last);
            last = next;
        }
        if (!settled || !writePpm(last, argv[3])) status = fail("the window never settled, or cannot be read");
        if (last) XDestroyImage(last);
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
        XSync(display, False);
    } else if (command == "drop" && argc >= 4) {
        if (!dropFile(display, parseWindow(argv[2]), argv[3])) status = fail("the window did not take the drop");
    } else {
        status = fail("unknown command " + command);
    }
    XCloseDisplay(display);
    return status;
}
