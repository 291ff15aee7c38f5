#pragma once
// The camera styles whose pixel work is their recipe (Mono and Colorcross,
// whose kernels other styles run as blocks, have headers of their own).
//
// Each style keeps a .cpp of its own (SaloonCamera.cpp and so on) that
// opens with its look and how its versions differ, then holds its
// constants, the steps of each version and, where it blurs, its margin.
// CameraStyle supplies the rest, so a style here declares only its
// constructor and what it adds: a margin of its own (the styles whose
// recipes blur) and the helpers its tests check. The declarations differ
// in nothing else, so they stand together rather than in eighteen headers.
// Styles built with a version take it as their constructor's argument.

#include "cameras/CameraRecipe.h"

class Camera1958 : public CameraStyle<Camera1958> {
public:
    explicit Camera1958(uint32_t styleVersion);
    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    // The closing blur of version 2: its amount and mix for the values.
    static void closingBlur(float a, float v, float& amount, float& mix);
};

class Camera1962 : public CameraStyle<Camera1962> {
public:
    explicit Camera1962(uint32_t styleVersion);
    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
};

class Camera1974 : public CameraStyle<Camera1974> {
public:
    explicit Camera1974(uint32_t styleVersion);
    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
};

class Camera1983 : public CameraStyle<Camera1983> {
public:
    explicit Camera1983(uint32_t styleVersion);
    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
};

class AutochromeCamera : public CameraStyle<AutochromeCamera> {
public:
    explicit AutochromeCamera(uint32_t styleVersion);
    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    // Version 3's grain offset: (v + 170.21) 1000 wrapped below 10000,
    // keeping the sign.
    static float grainOffset(float variation);
};

class HelgaCamera : public CameraStyle<HelgaCamera> {
public:
    explicit HelgaCamera(uint32_t styleVersion);
    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
};

class InstantCamera : public CameraStyle<InstantCamera> {
public:
    explicit InstantCamera(uint32_t styleVersion);
    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
};

class ItalianoCamera : public CameraStyle<ItalianoCamera> {
public:
    explicit ItalianoCamera(uint32_t styleVersion);
    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
};

class LoloCamera : public CameraStyle<LoloCamera> {
public:
    LoloCamera();
};

class MagazineCamera : public CameraStyle<MagazineCamera> {
public:
    explicit MagazineCamera(uint32_t styleVersion);
    // The colour-balance colour of versions 2 and 3 for a Variation value.
    static void balanceColour(float variation, float colour[4]);
};

class MatteCamera : public CameraStyle<MatteCamera> {
public:
    explicit MatteCamera(uint32_t styleVersion);
};

class PoolsideCamera : public CameraStyle<PoolsideCamera> {
public:
    explicit PoolsideCamera(uint32_t styleVersion);
};

class SilverCamera : public CameraStyle<SilverCamera> {
public:
    explicit SilverCamera(uint32_t styleVersion);
    // The tint hue of version 2 for a Variation value, in [0, 360):
    // 5 (v + 6) degrees brought into range by whole turns; a non-finite
    // hue is 0.
    static float tintHue(float variation);
};

class SkaterCamera : public CameraStyle<SkaterCamera> {
public:
    explicit SkaterCamera(uint32_t styleVersion);
    int32_t marginFor(int32_t width, int32_t height, float scale) const override;
    // Version 3's grain offset for a Variation value: (0.7 v + 230) 100,
    // wrapped below 10000.
    static float grainOffset(float variation);
};

class WeddingCamera : public CameraStyle<WeddingCamera> {
public:
    WeddingCamera();
};

class HipsterCamera : public CameraStyle<HipsterCamera> {
public:
    HipsterCamera();
};

class PlasticCamera : public CameraStyle<PlasticCamera> {
public:
    PlasticCamera();
};

class SaloonCamera : public CameraStyle<SaloonCamera> {
public:
    SaloonCamera();
};
