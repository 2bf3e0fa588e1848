// The sky box, the lens-flare sprite and each sample track's "lighting"
// file: plain gradients and a few lines of text, so both tracks load their
// light and sky like any other track.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/datagen/datagen.h"

namespace {

constexpr int sky_size = 64;

// A binary PPM ("P6") of top-down RGB rows.
int write_ppm(const std::string& root, const std::string& name, const std::vector<uint8_t>& rgb, int w, int h)
{
    char header[32];
    int n = snprintf(header, sizeof header, "P6\n%d %d\n255\n", w, h);
    std::string bytes(header, size_t(n));
    bytes.append(reinterpret_cast<const char*>(rgb.data()), rgb.size());
    return datagen_write_file(root, name, bytes.data(), bytes.size());
}

uint8_t byte_of(float v) { return uint8_t(fminf(255.0f, fmaxf(0.0f, v * 255.0f + 0.5f))); }

// Sky colour by elevation: hazy horizon to deep zenith, ground below.
void sky_colour(float elevation, float out[3])
{
    const float horizon[3] = {0.78f, 0.86f, 0.92f}, zenith[3] = {0.22f, 0.45f, 0.80f};
    const float ground[3] = {0.38f, 0.42f, 0.30f};
    if (elevation < 0) {
        for (int c = 0; c < 3; c++) out[c] = ground[c];
        return;
    }
    float t = sqrtf(fminf(1.0f, elevation));
    for (int c = 0; c < 3; c++) out[c] = horizon[c] + (zenith[c] - horizon[c]) * t;
}

// The elevation of a direction as a fraction of a right angle: 0 at the
// horizon, 1 straight up, negative below. Both kinds of face colour their
// texels by it, so the colours agree where the faces meet.
float elevation_of(float dx, float dy, float dz)
{
    return atan2f(dy, sqrtf(dx * dx + dz * dz)) / float(M_PI / 2);
}

// A side face: its texel (x, y) looks along (1, e, u) in the face's own
// frame, e from 1 at the top row to -1 at the bottom. Face k of the four
// has a band of cloud of its own, a few degrees above the horizon; across
// the face it varies as cos(3 pi u) and sin((k + 2) pi u), which take the
// same values at u = -1 and 1 on every face, so the band runs on unbroken
// from face to face however the box turns them.
std::vector<uint8_t> side_face(int k)
{
    std::vector<uint8_t> px(size_t(sky_size) * sky_size * 3);
    const float pi = float(M_PI);
    for (int y = 0; y < sky_size; y++)
        for (int x = 0; x < sky_size; x++) {
            float e = 1.0f - 2.0f * (float(y) + 0.5f) / sky_size, u = (float(x) + 0.5f) / sky_size * 2 - 1;
            float el = elevation_of(1, e, u);
            float across = 0.5f + 0.25f * cosf(3 * pi * u) + 0.25f * sinf(float(k + 2) * pi * u);
            float cloud = expf(-100.0f * (el - 0.076f) * (el - 0.076f)) * across;
            float c[3];
            sky_colour(el, c);
            for (int ch = 0; ch < 3; ch++) px[(size_t(y) * sky_size + x) * 3 + ch] = byte_of(c[ch] + 0.12f * cloud);
        }
    return px;
}

// The top face: its texel looks along (u, 1, v); the zenith in the middle.
std::vector<uint8_t> up_face()
{
    std::vector<uint8_t> px(size_t(sky_size) * sky_size * 3);
    for (int y = 0; y < sky_size; y++)
        for (int x = 0; x < sky_size; x++) {
            float u = (float(x) + 0.5f) / sky_size * 2 - 1, v = (float(y) + 0.5f) / sky_size * 2 - 1;
            float c[3];
            sky_colour(elevation_of(u, 1, v), c);
            for (int k = 0; k < 3; k++) px[(size_t(y) * sky_size + x) * 3 + k] = byte_of(c[k]);
        }
    return px;
}

// The environment map for reflections: a sphere map of the same sky.
std::vector<uint8_t> env_map()
{
    std::vector<uint8_t> px(size_t(sky_size) * sky_size * 3);
    for (int y = 0; y < sky_size; y++)
        for (int x = 0; x < sky_size; x++) {
            float u = (float(x) + 0.5f) / sky_size * 2 - 1, v = 1 - (float(y) + 0.5f) / sky_size * 2;
            float c[3];
            sky_colour(hypotf(u, v) > 1 ? 0 : v, c);
            for (int k = 0; k < 3; k++) px[(size_t(y) * sky_size + x) * 3 + k] = byte_of(c[k]);
        }
    return px;
}

// The flare element: a soft white disc with a ring, alpha falling to 0.
int write_flare(const std::string& root)
{
    const int n = 32;
    std::vector<uint8_t> px(size_t(n) * n * 4);
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            float r = hypotf((float(x) + 0.5f) / n - 0.5f, (float(y) + 0.5f) / n - 0.5f) * 2;
            float a = fmaxf(0.0f, 1 - r) * fmaxf(0.0f, 1 - r) + 0.35f * expf(-120.0f * (r - 0.8f) * (r - 0.8f));
            uint8_t* p = &px[(size_t(y) * n + x) * 4];
            p[0] = p[1] = p[2] = 255;
            p[3] = byte_of(fminf(1.0f, a));
        }
    return datagen_write_png(root, "flare.png", px.data(), n, n, 4);
}

// Outdoors: a high afternoon sun, light haze, one flare row down the sun's line.
const char practice_lighting[] =
    "sun_vector [ 0.4 0.8 0.45 ]\n"
    "sun_color [ 1 0.96 0.88 ]\n"
    "ambient [ 0.45 0.47 0.5 ]\n"
    "global_ambient [ 0.2 0.2 0.22 ]\n"
    "fog [ 0.78 0.86 0.92 ] 0.0008\n"
    "near_plane 0.25\n"
    "far_plane 6000\n"
    "flare_element [ 0 1 ] [ 1 1 0.9 ] 1.5 @flare.png\n"
    "flare_element [ 0.5 0.3 ] [ 0.6 0.8 1 ] 0.5 @flare.png\n"
    "flare_element [ 1.2 0.2 ] [ 1 0.7 0.5 ] 0.8 @flare.png\n"
    "flare_vector [ 0.4 0.8 0.45 ]\n";

// Under the stadium lights: even light from above, no haze, a short view.
const char stadium_lighting[] =
    "sun_vector [ 0 1 0.1 ]\n"
    "sun_color [ 0.95 0.95 1 ]\n"
    "ambient [ 0.55 0.55 0.58 ]\n"
    "global_ambient [ 0.25 0.25 0.27 ]\n"
    "dynamic_lighting 1\n"
    "near_plane 0.25\n"
    "far_plane 2000\n";

int write_scenery(const std::string& root)
{
    const char* sides[] = {"sky-n.ppm", "sky-e.ppm", "sky-s.ppm", "sky-w.ppm"};
    for (int i = 0; i < 4; i++)
        if (!write_ppm(root, sides[i], side_face(i), sky_size, sky_size)) return 0;
    return write_ppm(root, "sky-u.ppm", up_face(), sky_size, sky_size) &&
           write_ppm(root, "sky-env.ppm", env_map(), sky_size, sky_size) && write_flare(root) &&
           datagen_write_text(root, "tracks/practice/lighting", practice_lighting) &&
           datagen_write_text(root, "tracks/stadium/lighting", stadium_lighting);
}

} // namespace

DATAGEN_STEP("41_scenery", write_scenery);
