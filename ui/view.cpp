#include "ui/view.h"

#include <cmath>

#include "core/game_state.h"
#include "game/lighting.h"
#include "gfx/ztgl.h"

void set_perspective(int width, int height, float fov_degrees)
{
    if (width < 1) width = 1;
    if (height < 1) height = 1;
    ztglViewport(0, 0, width, height);
    double f = std::tan(double(fov_degrees) * M_PI / 360.0);
    double aspect = double(width) / double(height);
    double w, h;
    // Wider than 4:3 keeps a 4:3 view's height and sees more to the sides.
    if (aspect > 4.0 / 3.0) {
        h = 0.75 * f;
        w = h * aspect;
    } else {
        w = f;
        h = f / aspect;
    }
    view_extent_w = float(w);
    view_extent_h = float(h);
    double n = lighting.near_plane;
    ztglMatrixMode(ZTGL_PROJECTION);
    ztglLoadIdentity();
    ztglFrustum(-w * n, w * n, -h * n, h * n, n, lighting.far_plane);
    ztglMatrixMode(ZTGL_MODELVIEW);
    ztglLoadIdentity();
}
