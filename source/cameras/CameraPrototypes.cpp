// Prototypes of the camera-style tiles, one per style, in the order the
// tool panel lists them (the last three exist only so that filter files
// naming them load).

#include "cameras/Camera1958.h"
#include "cameras/ColorcrossCamera.h"
#include "cameras/LoloCamera.h"
#include "cameras/MagazineCamera.h"
#include "cameras/MonoCamera.h"
#include "cameras/SilverCamera.h"
#include "framework/ImageMod.h"
#include "framework/TilePrototypes.h"

void addCameraPrototypes(GrowArray<ImageMod*>& out) {
    out.append(new Camera1958(2));
    out.append(new ColorcrossCamera(1.0f, 0.0f));
    out.append(new LoloCamera());
    out.append(new MagazineCamera(3));
    out.append(new MonoCamera());
    out.append(new SilverCamera(2));
}
