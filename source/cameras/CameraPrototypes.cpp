// Prototypes of the camera-style tiles, one per style, in the order the
// tool panel creates them. The first seventeen are listed for the user;
// Hipster, Plastic and Saloon come last and exist so that filter files
// naming them load.

#include "cameras/CameraStyles.h"
#include "cameras/ColorcrossCamera.h"
#include "cameras/MonoCamera.h"
#include "framework/ImageMod.h"
#include "framework/TilePrototypes.h"

void addCameraPrototypes(GrowArray<ImageMod*>& out) {
    out.append(new Camera1958(2));
    out.append(new Camera1962(4));
    out.append(new Camera1974(3));
    out.append(new Camera1983(3));
    out.append(new AutochromeCamera(3));
    out.append(new ColorcrossCamera(1.0f, 0.0f));
    out.append(new HelgaCamera(2));
    out.append(new InstantCamera(2));
    out.append(new ItalianoCamera(2));
    out.append(new LoloCamera());
    out.append(new MagazineCamera(3));
    out.append(new MatteCamera(4));
    out.append(new MonoCamera());
    out.append(new PoolsideCamera(2));
    out.append(new SilverCamera(2));
    out.append(new SkaterCamera(3));
    out.append(new WeddingCamera());
    out.append(new HipsterCamera());
    out.append(new PlasticCamera());
    out.append(new SaloonCamera());
}
