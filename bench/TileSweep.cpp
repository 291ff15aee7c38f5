// Every tile of the prototype list (adjustments, camera styles, effects,
// masks, borders, sizing) rendered at the limits of its vars on a
// 24-megapixel photo through the float pipeline, as a save renders it, and
// the slowest settings printed as a table.
//
// Settings, each from the prototype's start values: the start values; every
// float var at its low and at its high limit, one var at a time; every
// other option of every choice var; and, for each option of a choice var,
// every float var at both limits (a blur's method decides what its Amount
// costs). Curve, colour and file vars keep their start values.
//
//   pellucine_tile_sweep [--quick] [--threads N] [--top N] [--repeat N]
//                        [--size WxH] [--tile NAME] [--set VAR=VALUE]... [--pairs] [--all] [--list]
//
//   --quick         a 1500 x 1000 picture (the sweep takes about a minute)
//   --threads N     threads of the parallel loop (8)
//   --top N         rows of the table (10); they are timed again --repeat
//                   times (3) and the table shows the median
//   --size WxH      another picture size
//   --tile NAME     only tiles of this XML or display name
//   --set VAR=VALUE with --tile: time this one setting alone (VALUE a number
//                   or a choice's option text; repeatable)
//   --all           print every setting's time as it is measured
//   --pairs         also every pair of float vars at their limits, with
//                   each option of the choice vars (a few thousand settings)
//   --list          list the settings without rendering
//
// A setting's time is one render of the whole picture, wall clock, the copy
// of the fresh picture before it not timed; beside it the CPU time of all
// threads, which moves less on a machine shared with other work.

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "BenchImages.h"
#include "TimingSupport.h"
#include "foundation/GrowArray.h"
#include "foundation/ImageBuffer.h"
#include "framework/ImageMod.h"
#include "framework/ModListHelpers.h"
#include "framework/ModVar.h"
#include "framework/TilePrototypes.h"
#include "platform/ParallelFor.h"
#include "render/RenderContext.h"

namespace {

struct Options {
    int32_t width = bench::kPhotoWidth;
    int32_t height = bench::kPhotoHeight;
    int threads = 8;
    int top = 10;
    int repeat = 3;
    bool all = false;
    bool list = false;
    bool pairs = false;
    std::string tile;
    std::vector<std::pair<std::string, std::string>> fixed;  // --set
};

// One var set to one value: a float, or a choice's option index.
struct Assignment {
    int32_t var;
    float value;
};

struct Setting {
    int32_t tile;  // index in the prototype list
    std::vector<Assignment> assignments;
    std::string text;
    double ms = 0.0;     // wall clock
    double cpuMs = 0.0;  // CPU time of all the process's threads
};

float lowLimit(const FloatValue& f) { return f.hasMinimum ? f.minimum : f.rangeLow; }
float highLimit(const FloatValue& f) { return f.hasMaximum ? f.maximum : f.rangeHigh; }

std::string numberText(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(v));
    return text;
}

std::string describe(const ImageMod& tile, const std::vector<Assignment>& assignments) {
    if (assignments.empty()) return "start values";
    std::string text;
    for (const Assignment& a : assignments) {
        const ModVar* v = tile.var(a.var);
        if (!text.empty()) text += ", ";
        text += v->name.c_str();
        text += " ";
        if (const ChoiceValue* c = v->choiceValue())
            text += c->lists[0][static_cast<int32_t>(a.value)].c_str();
        else
            text += numberText(a.value);
    }
    return text;
}

// The limits of float var i that differ from its start value.
std::vector<float> floatLimits(const FloatValue& f) {
    std::vector<float> values;
    for (float v : {lowLimit(f), highLimit(f)})
        if (v != f.value && (values.empty() || values[0] != v)) values.push_back(v);
    return values;
}

// Every pair of float vars at every combination of their limits, with
// the start options and with each other option of every choice var.
template <class Add>
void addPairs(const ImageMod& tile, Add&& add) {
    std::vector<std::vector<Assignment>> options(1);
    for (int32_t i = 0; i < tile.vars.count; ++i) {
        const ChoiceValue* c = tile.vars[i] ? tile.vars[i]->choiceValue() : nullptr;
        for (int32_t option = 0; c && option < c->optionCount(); ++option)
            if (option != c->selected) options.push_back({{i, static_cast<float>(option)}});
    }
    auto floatAt = [&](int32_t i) { return tile.vars[i] ? tile.vars[i]->floatValue() : nullptr; };
    for (const std::vector<Assignment>& base : options)
        for (int32_t i = 0; i < tile.vars.count; ++i)
            for (int32_t j = i + 1; floatAt(i) && j < tile.vars.count; ++j) {
                if (!floatAt(j)) continue;
                for (float a : floatLimits(*floatAt(i)))
                    for (float b : floatLimits(*floatAt(j))) {
                        std::vector<Assignment> assignments = base;
                        assignments.push_back({i, a});
                        assignments.push_back({j, b});
                        add(assignments);
                    }
            }
}

void addSettings(const ImageMod& tile, int32_t index, bool pairs, std::vector<Setting>& out) {
    auto add = [&](std::vector<Assignment> assignments) {
        out.push_back(Setting{index, assignments, describe(tile, assignments)});
    };
    add({});
    if (pairs) addPairs(tile, add);
    for (int32_t i = 0; i < tile.vars.count; ++i) {
        const ModVar* v = tile.vars[i];
        if (!v || !v->value) continue;
        if (const FloatValue* f = v->floatValue())
            for (float value : floatLimits(*f)) add({{i, value}});
    }
    for (int32_t i = 0; i < tile.vars.count; ++i) {
        const ModVar* v = tile.vars[i];
        const ChoiceValue* c = v ? v->choiceValue() : nullptr;
        if (!c) continue;
        for (int32_t option = 0; option < c->optionCount(); ++option) {
            if (option == c->selected) continue;
            add({{i, static_cast<float>(option)}});
            for (int32_t j = 0; j < tile.vars.count; ++j) {
                const FloatValue* f = tile.vars[j] ? tile.vars[j]->floatValue() : nullptr;
                if (!f) continue;
                for (float value : floatLimits(*f)) add({{i, static_cast<float>(option)}, {j, value}});
            }
        }
    }
}

// The setting of --set: every VAR=VALUE matched to the tile's vars; false
// (with a message) when one names no var or no option.
bool fixedSetting(const ImageMod& tile, int32_t index, const Options& options, Setting& out) {
    std::vector<Assignment> assignments;
    for (const auto& pair : options.fixed) {
        int32_t found = -1;
        for (int32_t i = 0; i < tile.vars.count && found < 0; ++i)
            if (tile.vars[i] && pair.first == tile.vars[i]->name.c_str()) found = i;
        if (found < 0) {
            std::fprintf(stderr, "%s has no var \"%s\"\n", tile.name.c_str(), pair.first.c_str());
            return false;
        }
        const ModVar* v = tile.vars[found];
        if (const ChoiceValue* c = v->choiceValue()) {
            int32_t option = -1;
            for (int32_t k = 0; k < c->optionCount(); ++k)
                if (pair.second == c->lists[0][k].c_str()) option = k;
            if (option < 0) {
                std::fprintf(stderr, "\"%s\" has no option \"%s\"\n", pair.first.c_str(), pair.second.c_str());
                return false;
            }
            assignments.push_back({found, static_cast<float>(option)});
        } else if (v->floatValue()) {
            assignments.push_back({found, std::strtof(pair.second.c_str(), nullptr)});
        } else {
            std::fprintf(stderr, "\"%s\" is neither a float nor a choice\n", pair.first.c_str());
            return false;
        }
    }
    out = Setting{index, assignments, describe(tile, assignments)};
    return true;
}

// The CPU time of all the process's threads, in milliseconds: on a machine
// shared with other work it moves less than the wall clock.
double cpuNow() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

// One render of the setting on a fresh copy of the picture into s.ms and
// s.cpuMs; a negative time when the render failed.
void timeSetting(const ImageMod& prototype, Setting& s, const ImageBuffer& picture, ImageBuffer& work) {
    std::unique_ptr<ImageMod> tile(duplicateMod(prototype));
    for (const Assignment& a : s.assignments) {
        ModVar* v = tile->var(a.var);
        if (ChoiceValue* c = v->choiceValue())
            c->selected = static_cast<int32_t>(a.value);
        else
            v->floatValue()->value = a.value;
        tile->varChanged(a.var);
    }
    GrowArray<ImageMod*> chain;
    chain.append(tile.get());
    ImageBuffer::copyFloat(work, picture, true);
    RenderContext context(0);
    const double cpu = cpuNow();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = context.render(chain, &work, nullptr, -1, 0, nullptr);
    const auto end = std::chrono::steady_clock::now();
    s.cpuMs = cpuNow() - cpu;
    s.ms = ok ? std::chrono::duration<double, std::milli>(end - start).count() : -1.0;
}

// The medians of `repeat` renders.
void medianTime(const ImageMod& prototype, Setting& s, const ImageBuffer& picture, ImageBuffer& work, int repeat) {
    std::vector<double> wall, cpu;
    for (int i = 0; i < repeat; ++i) {
        timeSetting(prototype, s, picture, work);
        wall.push_back(s.ms);
        cpu.push_back(s.cpuMs);
    }
    s.ms = timing::medianOf(wall);
    s.cpuMs = timing::medianOf(cpu);
}

bool parseSize(const char* text, Options& o) {
    int w = 0, h = 0;
    if (std::sscanf(text, "%dx%d", &w, &h) != 2 || w < 1 || h < 1 || w > 100000 || h > 100000) return false;
    o.width = w;
    o.height = h;
    return true;
}

bool parseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--quick") {
            o.width = 1500;
            o.height = 1000;
        } else if (a == "--all") {
            o.all = true;
        } else if (a == "--list") {
            o.list = true;
        } else if (a == "--pairs") {
            o.pairs = true;
        } else if (a == "--threads" && hasValue) {
            if (!timing::parseCount(argv[++i], o.threads)) return false;
        } else if (a == "--top" && hasValue) {
            if (!timing::parseCount(argv[++i], o.top)) return false;
        } else if (a == "--repeat" && hasValue) {
            if (!timing::parseCount(argv[++i], o.repeat)) return false;
        } else if (a == "--size" && hasValue) {
            if (!parseSize(argv[++i], o)) return false;
        } else if (a == "--tile" && hasValue) {
            o.tile = argv[++i];
        } else if (a == "--set" && hasValue) {
            const std::string pair = argv[++i];
            const size_t eq = pair.find('=');
            if (eq == std::string::npos) return false;
            o.fixed.emplace_back(pair.substr(0, eq), pair.substr(eq + 1));
        } else {
            return false;
        }
    }
    return o.fixed.empty() || !o.tile.empty();
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s [--quick] [--threads N] [--top N] [--repeat N] [--size WxH] [--tile NAME "
                     "[--set VAR=VALUE]...] [--pairs] [--all] [--list]\n",
                     argv[0]);
        return 2;
    }
    setParallelThreadCount(options.threads);
    OwnedTiles prototypes;
    buildPrototypeList(prototypes.list);
    const ImageBuffer picture = bench::gradientPhoto(options.width, options.height);
    ImageBuffer work;

    std::vector<Setting> settings;
    for (int32_t t = 0; t < prototypes.list.count; ++t) {
        const ImageMod& tile = *prototypes.list[t];
        if (!options.tile.empty() && options.tile != tile.name.c_str() && options.tile != tile.displayName.c_str())
            continue;
        if (options.fixed.empty()) {
            addSettings(tile, t, options.pairs, settings);
            continue;
        }
        Setting s;
        if (!fixedSetting(tile, t, options, s)) return 2;
        settings.push_back(s);
    }
    if (settings.empty()) {
        std::fprintf(stderr, "no tile named \"%s\"\n", options.tile.c_str());
        return 2;
    }

    std::printf("%zu settings of %d tiles on %d x %d, %d threads\n", settings.size(), prototypes.list.count,
                options.width, options.height, options.threads);
    std::fflush(stdout);
    if (options.list) {
        for (const Setting& s : settings)
            std::printf("%s: %s\n", prototypes.list[s.tile]->displayName.c_str(), s.text.c_str());
        return 0;
    }
    const bool single = !options.fixed.empty();
    const auto start = std::chrono::steady_clock::now();
    for (Setting& s : settings) {
        const ImageMod& tile = *prototypes.list[s.tile];
        if (single)
            medianTime(tile, s, picture, work, options.repeat);
        else
            timeSetting(tile, s, picture, work);
        if (options.all || single) {
            std::printf("%10.1f ms %10.1f cpu ms  %s: %s%s\n", s.ms, s.cpuMs, tile.displayName.c_str(),
                        s.text.c_str(), s.ms < 0 ? " (render failed)" : "");
            std::fflush(stdout);
        }
    }
    const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (single) return 0;

    // The slowest settings, each timed again; the table shows the medians.
    std::vector<Setting> slowest = settings;
    std::sort(slowest.begin(), slowest.end(), [](const Setting& a, const Setting& b) { return a.ms > b.ms; });
    if (static_cast<int>(slowest.size()) > options.top) slowest.resize(static_cast<size_t>(options.top));
    for (Setting& s : slowest) medianTime(*prototypes.list[s.tile], s, picture, work, options.repeat);
    std::sort(slowest.begin(), slowest.end(), [](const Setting& a, const Setting& b) { return a.ms > b.ms; });

    std::printf("sweep: %.1f s\n\nslowest (median of %d):\n%4s %10s %10s  %-24s %s\n", total, options.repeat, "#",
                "ms", "cpu ms", "tile", "setting");
    for (size_t i = 0; i < slowest.size(); ++i) {
        const ImageMod& tile = *prototypes.list[slowest[i].tile];
        std::printf("%4zu %10.1f %10.1f  %-24s %s\n", i + 1, slowest[i].ms, slowest[i].cpuMs,
                    tile.displayName.c_str(), slowest[i].text.c_str());
    }
    int failed = 0;
    for (const Setting& s : settings) failed += s.ms < 0 ? 1 : 0;
    if (failed) std::printf("%d renders failed\n", failed);
    return failed ? 1 : 0;
}
