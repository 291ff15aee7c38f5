#!/usr/bin/python3
"""Checks that no valid JPEG is refused, over several thousand files.

Writes JPEGs with libjpeg-turbo's cjpeg in every mode (Huffman, optimised
and arithmetic coding; sequential, progressive, scan-per-component,
DC-on-its-own and successive-approximation scripts; samplings 1x1 to 4x1
and 1x2 to 1x4; grey and RGB; restart intervals; qualities 10 to 100), with
ImageMagick, with Pillow and with our own writer, of pictures that an
arithmetic encoder codes in almost no bytes (flat, ramps both ways, stripes,
patterns repeating every 2 x 2 MCUs, a flat end after detail) beside photos,
noise and text. Each file is opened by the render tool through an identity
chain and must give djpeg's pixels exactly.

Too long for ctest (a few minutes on 8 processors); run it by hand:

    tests/desktop_only/media/jpeg_valid_files.py [--build build] [--count 4000] [--keep DIR]

Needs cjpeg and djpeg (libjpeg-turbo-progs), ImageMagick's convert and
Pillow for Debian's python3 (python3-pil); the encoders it lacks are left
out, with a line saying so. Exits 1 when any file is refused or differs.
"""

import argparse
import concurrent.futures
import os
import random
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", "..", ".."))

IDENTITY = """<filter version="4">
  <mod name="Exposure" version="1" enabled="1">
    <var name="Amount" type="float">1.000000</var>
  </mod>
</filter>
"""

# Scan scripts for cjpeg: one sequential scan a component; each
# component's DC on its own before the AC bands; successive approximation
# of DC and AC with the AC split at 5 (for grey files only component 0).
SCRIPTS = {
    "per-component": "0;\n1;\n2;\n",
    "dc-on-its-own": "0: 0 0 0 0;\n1: 0 0 0 0;\n2: 0 0 0 0;\n0: 1 63 0 0;\n1: 1 63 0 0;\n2: 1 63 0 0;\n",
    "successive": ("0,1,2: 0 0 0 1;\n0: 1 5 0 2;\n2: 1 63 0 1;\n1: 1 63 0 1;\n0: 6 63 0 2;\n"
                   "0: 1 63 2 1;\n0,1,2: 0 0 1 0;\n2: 1 63 1 0;\n1: 1 63 1 0;\n0: 1 63 1 0;\n"),
    "grey-successive": "0: 0 0 0 1;\n0: 1 5 0 2;\n0: 6 63 0 2;\n0: 1 63 2 1;\n0: 0 0 1 0;\n0: 1 63 1 0;\n",
    "grey-dc-on-its-own": "0: 0 0 0 0;\n0: 1 63 0 0;\n",
}

KINDS = ["photo", "flat", "ramp-across", "ramp-down", "stripes", "grey-stripes", "grey-bands", "mcu-pattern",
         "checkerboard", "noise", "text", "flat-end", "half-black"]
SIZES = [(1, 1), (17, 33), (64, 64), (333, 777), (640, 480), (768, 1024), (2000, 40), (40, 700), (1024, 768)]
QUALITIES = [10, 15, 20, 30, 50, 70, 75, 85, 90, 95, 100]
SAMPLINGS = ["1x1", "2x1", "2x2", "4x1", "1x2", "1x4", "4x2"]


def make_picture(Image, ImageDraw, kind, w, h, photo):
    """One source picture as an RGB Pillow image."""
    if kind == "photo":
        return photo.resize((w, h))
    if kind == "flat":
        return Image.new("RGB", (w, h), (90, 100, 110))
    image = Image.new("RGB", (w, h))
    px = image.load()
    if kind in ("ramp-across", "ramp-down"):
        for y in range(h):
            for x in range(w):
                t = w - 1 - x if kind == "ramp-across" else y  # across: white to black
                n = (w if kind == "ramp-across" else h) - 1
                v = 255 * t // max(1, n)
                px[x, y] = (v, v, v)
    elif kind in ("stripes", "grey-stripes", "grey-bands"):
        for y in range(h):
            for x in range(w):
                if kind == "stripes":
                    px[x, y] = (230, 230, 40) if (y // 3) % 2 else (20, 40, 160)
                else:  # 8 pixels wide, upright or lying
                    px[x, y] = (200, 200, 200) if ((x if kind == "grey-stripes" else y) // 8) % 2 else (40, 40, 40)
    elif kind == "mcu-pattern":  # repeats every 2 x 2 MCUs at 4:2:0
        for y in range(h):
            for x in range(w):
                px[x, y] = ((x * 7 + y * 3) % 32 * 8, (x % 32) * 8, (y % 32) * 8)
    elif kind == "checkerboard":
        for y in range(h):
            for x in range(w):
                px[x, y] = (255, 255, 255) if ((x // 4) + (y // 4)) % 2 else (0, 0, 0)
    elif kind == "noise":
        rng = random.Random(w * 7919 + h)
        image = Image.frombytes("RGB", (w, h), bytes(rng.getrandbits(8) for _ in range(w * h * 3)))
    elif kind == "text":
        image = Image.new("RGB", (w, h), (250, 250, 245))
        draw = ImageDraw.Draw(image)
        for row in range(0, h, 12):
            draw.text((2, row), "The quick brown fox jumps over the lazy dog 0123456789", fill=(10, 10, 10))
    elif kind == "flat-end":  # detail in the top third, flat below
        image = Image.new("RGB", (w, h), (120, 140, 60))
        image.paste(photo.resize((w, max(1, h // 3))), (0, 0))
    elif kind == "half-black":
        image = photo.resize((w, h))
        image.paste((0, 0, 0), (0, h // 2, w, h))
    return image


def run(args, **kwargs):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--count", type=int, default=4000, help="cjpeg files (the others come beside them)")
    parser.add_argument("--keep", help="keep the files in this folder")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--cuts", action="store_true",
                        help="also cut every cjpeg file at a quarter, a half and three quarters, without and with "
                             "an end marker put back, and count the cuts refused")
    options = parser.parse_args()

    tool = os.path.join(options.build, "tools", "pellucine-render")
    if not os.access(tool, os.X_OK):
        sys.exit(f"no render tool at {tool}: build first")
    for need in ("cjpeg", "djpeg"):
        if not shutil.which(need):
            sys.exit(f"{need} is missing: install libjpeg-turbo-progs")
    try:
        from PIL import Image, ImageDraw, ImageFile
    except ImportError:
        sys.exit("Pillow is missing: install python3-pil and run with Debian's /usr/bin/python3")
    # Optimised and progressive files are written in one block: a larger
    # block than Pillow's default, which such files of large pictures outgrow.
    ImageFile.MAXBLOCK = 1 << 26
    magick = shutil.which("convert")
    if not magick:
        print("ImageMagick's convert is missing: its files are left out")

    folder = options.keep or tempfile.mkdtemp(prefix="pellucine-jpegs-")
    os.makedirs(folder, exist_ok=True)
    # A copy of the tool: a build during the run must not change it.
    tool = shutil.copy2(tool, os.path.join(folder, "pellucine-render"))
    identity = os.path.join(folder, "identity.plf")
    with open(identity, "w") as f:
        f.write(IDENTITY)
    for name, text in SCRIPTS.items():
        with open(os.path.join(folder, name + ".scans"), "w") as f:
            f.write(text)

    photo = Image.open(os.path.join(ROOT, "tests", "data", "png", "flower.png")).convert("RGB")
    sources = {}
    for kind in KINDS:
        for w, h in SIZES:
            if kind in ("noise", "text", "photo", "flat-end", "half-black", "checkerboard") and w * h > 800000:
                continue  # the large sizes are kept for what codes in few bytes
            name = f"{kind}-{w}x{h}"
            image = make_picture(Image, ImageDraw, kind, w, h, photo)
            path = os.path.join(folder, name + ".ppm")
            image.save(path)
            grey = os.path.join(folder, name + ".pgm")
            image.convert("L").save(grey)
            sources[name] = (path, grey, image)
    names = sorted(sources)

    rng = random.Random(20261208)
    jobs = []  # (file, command or None, Pillow arguments or None)

    def cjpeg(tag, source, args, grey=False):
        out = os.path.join(folder, f"cjpeg-{len(jobs):05d}-{tag}-{source}.jpg")
        src = sources[source][1 if grey else 0]
        jobs.append((out, ["cjpeg"] + args + ["-outfile", out, src], None))

    # The classes an arithmetic encoder codes in almost no bytes, in every
    # mode, at the qualities where their ends are shortest.
    fixed = [
        ("ramp-across-1024x768", ["-arithmetic", "-progressive", "-quality", "85"]),
        ("ramp-across-333x777", ["-arithmetic", "-quality", "70"]),
        ("ramp-down-333x777", ["-arithmetic", "-progressive", "-quality", "70"]),
    ]
    for q in (50, 60, 70, 75, 80, 85, 90, 95):
        for script in ("successive", "dc-on-its-own"):
            fixed.append(("ramp-across-1024x768",
                          ["-arithmetic", "-quality", str(q), "-scans", os.path.join(folder, script + ".scans")]))
    for sample in (None, "1x2", "1x4"):
        for q in (85, 90, 95):
            args = ["-arithmetic", "-quality", str(q)] + (["-sample", sample] if sample else [])
            for kind in ("grey-stripes", "grey-bands"):
                fixed.append((f"{kind}-640x480", args))
                fixed.append((f"{kind}-1024x768", args))
    for mode in ([], ["-progressive"], ["-scans", os.path.join(folder, "successive.scans")],
                 ["-scans", os.path.join(folder, "per-component.scans")]):
        for size in ("640x480", "333x777", "1024x768"):
            fixed.append((f"mcu-pattern-{size}", ["-arithmetic", "-sample", "2x2"] + mode))
    for source, args in fixed:
        cjpeg("fixed", source, args)

    while sum(1 for j in jobs if "/cjpeg-" in j[0]) < options.count:
        source = rng.choice(names)
        coding = rng.choice(["huffman", "optimize", "arithmetic", "arithmetic"])
        grey = rng.random() < 0.15
        rgb = not grey and rng.random() < 0.08
        progression = rng.choice(["sequential", "progressive", "progressive", "per-component", "dc-on-its-own",
                                  "successive"])
        args = ["-quality", str(rng.choice(QUALITIES))]
        if coding == "optimize":
            args.append("-optimize")
        elif coding == "arithmetic":
            args.append("-arithmetic")
        if grey:
            args.append("-grayscale")
            if progression in ("per-component", "successive", "dc-on-its-own"):
                script = "grey-successive" if progression == "successive" else "grey-dc-on-its-own"
                args += ["-scans", os.path.join(folder, script + ".scans")]
            elif progression == "progressive":
                args.append("-progressive")
        else:
            if rgb:
                args.append("-rgb")
            elif rng.random() < 0.85:
                args += ["-sample", rng.choice(SAMPLINGS)]
            if progression == "progressive":
                args.append("-progressive")
            elif progression != "sequential":
                args += ["-scans", os.path.join(folder, progression + ".scans")]
        if rng.random() < 0.25:
            args += ["-restart", rng.choice(["1", "2", "1B", "2B", "7B"])]
        cjpeg(f"{coding}-{progression}", source, args, grey)

    if magick:
        for i in range(options.count // 6):
            source = rng.choice(names)
            out = os.path.join(folder, f"magick-{i:05d}-{source}.jpg")
            args = [magick, sources[source][0], "-quality", str(rng.choice(QUALITIES)),
                    "-sampling-factor", rng.choice(["4:2:0", "4:2:2", "4:4:4", "4:1:1", "4:4:0"])]
            if rng.random() < 0.5:
                args += ["-interlace", "JPEG"]
            if rng.random() < 0.3:
                args += ["-define", "jpeg:optimize-coding=false"]
            if rng.random() < 0.15:
                args += ["-colorspace", "Gray"]
            jobs.append((out, args + [out], None))

    for i in range(options.count // 6):
        source = rng.choice(names)
        out = os.path.join(folder, f"pillow-{i:05d}-{source}.jpg")
        kwargs = {"quality": rng.choice(QUALITIES), "subsampling": rng.choice([0, 1, 2]),
                  "progressive": rng.random() < 0.5, "optimize": rng.random() < 0.5}
        jobs.append((out, None, (source, kwargs, rng.random() < 0.15)))

    for i in range(options.count // 40):
        source = rng.choice(names)
        out = os.path.join(folder, f"ours-{i:05d}-{source}.jpg")
        png = os.path.join(folder, f"ours-{i:05d}.png")
        sources[source][2].save(png)
        jobs.append((out, [tool, identity, png, out], None))

    def write(job):
        out, command, pillow = job
        if pillow:
            source, kwargs, grey = pillow
            image = sources[source][2]
            (image.convert("L") if grey else image).save(out, "JPEG", **kwargs)
            return True
        return run(command).returncode == 0 and os.path.exists(out)

    def check(path):
        """None when the file loads with djpeg's pixels, else what went wrong."""
        reference = path + ".pnm"
        decoded = run(["djpeg", "-outfile", reference, path])
        if decoded.returncode != 0:
            return None if not os.path.exists(reference) else "djpeg failed"
        if decoded.stderr:
            return "djpeg warned: " + decoded.stderr.decode(errors="replace").strip()
        rendered = path + ".png"
        tool_run = run([tool, "--8bit", "--threads", "1", identity, path, rendered])
        if tool_run.returncode != 0:
            return "refused: " + tool_run.stderr.decode(errors="replace").strip()
        want = Image.open(reference).convert("RGB")
        got = Image.open(rendered).convert("RGB")
        if want.size != got.size or want.tobytes() != got.tobytes():
            return "pixels differ from djpeg's"
        if not options.keep:
            os.remove(reference)
            os.remove(rendered)
        return None

    with concurrent.futures.ThreadPoolExecutor(options.jobs) as pool:
        written = list(pool.map(write, jobs))
        files = [job[0] for job, ok in zip(jobs, written) if ok]
        failures = [(f, why) for f, why in zip(files, pool.map(check, files)) if why]

    cut_counts = {}
    if options.cuts:
        def cut(path):
            """How each cut of the file fared: (class, refused) pairs."""
            with open(path, "rb") as f:
                data = f.read()
            coding = "arithmetic" if "arithmetic" in path or "-fixed-" in path else "Huffman"
            outcomes = []
            for quarters in (1, 2, 3):
                for end in (False, True):
                    keep = (len(data) - 2) * quarters // 4
                    cut_path = f"{path}.cut{quarters}{'e' if end else ''}.jpg"
                    with open(cut_path, "wb") as f:
                        f.write(data[:keep] + (b"\xff\xd9" if end else b""))
                    refused = run([tool, "--8bit", "--threads", "1", identity, cut_path,
                                   cut_path + ".png"]).returncode != 0
                    outcomes.append((f"{coding}, {'end marker put back' if end else 'no end marker'}", refused))
                    for leftover in (cut_path, cut_path + ".png"):
                        if os.path.exists(leftover):
                            os.remove(leftover)
            return outcomes

        with concurrent.futures.ThreadPoolExecutor(options.jobs) as pool:
            for outcomes in pool.map(cut, [f for f in files if "/cjpeg-" in f]):
                for kind, refused in outcomes:
                    total, refusals = cut_counts.get(kind, (0, 0))
                    cut_counts[kind] = (total + 1, refusals + refused)

    by_encoder = {}
    for f in files:
        by_encoder[os.path.basename(f).split("-")[0]] = by_encoder.get(os.path.basename(f).split("-")[0], 0) + 1
    arithmetic = sum(1 for f in files if "arithmetic" in os.path.basename(f) or "-fixed-" in os.path.basename(f))
    print(f"{len(files)} valid files ({', '.join(f'{n} {e}' for e, n in sorted(by_encoder.items()))}; "
          f"{arithmetic} of them from cjpeg with arithmetic coding)")
    for f, why in failures:
        print(f"FAIL {f}: {why}")
    print(f"{len(files) - len(failures)} of {len(files)} load with djpeg's pixels")
    for kind, (total, refusals) in sorted(cut_counts.items()):
        print(f"cut at a quarter, a half, three quarters ({kind}): {refusals} of {total} refused")
    if not options.keep:
        shutil.rmtree(folder)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
