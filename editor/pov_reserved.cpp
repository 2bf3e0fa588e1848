// The reserved words of the ray tracer's scene language (version 3.7):
// keywords, built-in functions and the predeclared identifiers (x, y, z, t,
// u, v, pi, clock, ...). An exported file name that reads as one of them
// ("cone.qm" -> cone) would not parse.
#include "editor/pov_reserved.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

// Sorted, for a binary search.
const char* const reserved[] = {
    "aa_level", "aa_threshold", "abs", "absorption", "accuracy", "acos", "acosh", "adaptive", "adc_bailout",
    "agate", "albedo", "all", "all_intersections", "alpha", "altitude", "always_sample", "ambient",
    "ambient_light", "angle", "anisotropy", "aoi", "aperture", "arc_angle", "area_illumination", "area_light",
    "array", "asc", "ascii", "asin", "asinh", "assumed_gamma", "atan", "atan2", "atanh", "attenuating",
    "autostop", "average", "b_spline", "background", "bezier_spline", "bicubic_patch", "bitwise_and",
    "bitwise_or", "bitwise_xor", "black_hole", "blob", "blue", "blur_samples", "bokeh", "bounded_by", "box",
    "boxed", "bozo", "break", "brick", "brightness", "brilliance", "bump_map", "bumps", "camera", "case",
    "caustics", "ceil", "cells", "charset", "checker", "chr", "circular", "clipped_by", "clock", "clock_delta",
    "clock_on", "collect", "color", "color_map", "colour", "colour_map", "component", "concat", "cone",
    "confidence", "conic_sweep", "conserve_energy", "contained_by", "cos", "cosh", "count", "crackle", "crand",
    "cube", "cubic", "cubic_spline", "cubic_wave", "cutaway_textures", "cylinder", "cylindrical",
    "cylindrical_light", "datetime", "debug", "declare", "default", "defined", "degrees", "density",
    "density_map", "dents", "deprecated", "dictionary", "difference", "diffuse", "dimension_size", "dimensions",
    "direction", "disc", "dispersion", "dispersion_samples", "dist_exp", "distance", "div", "double_illuminate",
    "dtag", "eccentricity", "else", "elseif", "emission", "end", "error", "error_bound", "eval", "evaluate",
    "exp", "expand_thresholds", "exponent", "exr", "extinction", "face_indices", "facets", "fade_color",
    "fade_colour", "fade_distance", "fade_power", "falloff", "falloff_angle", "false", "fclose", "file_exists",
    "filter", "finish", "fisheye", "flatness", "flip", "floor", "focal_point", "fog", "fog_alt", "fog_offset",
    "fog_type", "fopen", "for", "frequency", "fresnel", "function", "gather", "gif", "global_lights",
    "global_settings", "gradient", "granite", "gray", "gray_threshold", "green", "hdr", "height_field",
    "hexagon", "hf_gray_16", "hierarchy", "hollow", "hypercomplex", "if", "ifdef", "iff", "ifndef",
    "image_height", "image_map", "image_pattern", "image_width", "importance", "include", "inside",
    "inside_vector", "int", "interior", "interior_texture", "internal", "interpolate", "intersection",
    "intervals", "inverse", "ior", "irid", "irid_wavelength", "isosurface", "jitter", "jpeg", "julia_fractal",
    "lambda", "lathe", "leopard", "light_group", "light_source", "linear_spline", "linear_sweep", "ln",
    "load_file", "local", "location", "log", "look_at", "looks_like", "low_error_factor", "macro",
    "major_radius", "mandel", "map_type", "marble", "material", "material_map", "matrix", "max", "max_extent",
    "max_gradient", "max_intersections", "max_iteration", "max_sample", "max_trace", "max_trace_level",
    "maximum_reuse", "media", "media_attenuation", "media_interaction", "merge", "mesh", "mesh2", "mesh_camera",
    "metallic", "method", "min", "min_extent", "minimum_reuse", "mirror", "mm_per_unit", "mod",
    "natural_spline", "nearest_count", "no", "no_bump_scale", "no_image", "no_radiosity", "no_reflection",
    "no_shadow", "noise_generator", "normal", "normal_indices", "normal_map", "normal_vectors", "now",
    "number_of_waves", "object", "object_pattern", "octaves", "off", "offset", "omega", "omnimax", "on", "once",
    "onion", "open", "orient", "orientation", "orthographic", "outside", "ovus", "panoramic", "parallel",
    "parametric", "pass_through", "pattern", "pavement", "perspective", "perturb", "pgm", "phase", "phong",
    "phong_size", "photons", "pi", "pigment", "pigment_map", "pigment_pattern", "planar", "plane", "png",
    "point_at", "poly", "poly_wave", "polygon", "polynomial", "pot", "pow", "ppm", "precision", "precompute",
    "premultiplied", "pretrace_end", "pretrace_start", "prism", "prod", "projected_through", "pwr",
    "quadratic_spline", "quadric", "quartic", "quaternion", "quick_color", "quick_colour", "quilted", "radial",
    "radians", "radiosity", "radius", "rainbow", "ramp_wave", "rand", "range", "ratio", "read", "reciprocal",
    "recursion_limit", "red", "reflection", "reflection_exponent", "refraction", "render", "repeat", "rgb",
    "rgbf", "rgbft", "rgbt", "right", "ripples", "rotate", "roughness", "samples", "save_file", "scale",
    "scallop_wave", "scattering", "seed", "select", "shadowless", "sin", "sine_wave", "sinh", "sint16be",
    "sint16le", "sint32be", "sint32le", "sint8", "sky", "sky_sphere", "slice", "slope", "slope_map", "smooth",
    "smooth_triangle", "sor", "spacing", "specular", "sphere", "sphere_sweep", "spherical", "spherical_camera",
    "spiral1", "spiral2", "spline", "split_union", "spotlight", "spotted", "sqr", "sqrt", "square", "srgb",
    "srgbf", "srgbft", "srgbt", "statistics", "str", "strcmp", "strength", "strlen", "strlwr", "strupr",
    "sturm", "substr", "subsurface", "sum", "superellipsoid", "switch", "sys", "t", "tan", "tanh", "target",
    "tau", "text", "texture", "texture_list", "texture_map", "tga", "thickness", "threshold", "tiff",
    "tightness", "tile2", "tile_map", "tiling", "tolerance", "toroidal", "torus", "trace", "transform",
    "translate", "translucency", "transmit", "triangle", "triangle_wave", "triangular", "true", "ttf",
    "turb_depth", "turbulence", "u", "u_steps", "uint16be", "uint16le", "uint8", "ultra_wide_angle", "undef",
    "union", "up", "use_alpha", "use_color", "use_colour", "use_index", "utf8", "uv", "uv_indices",
    "uv_mapping", "uv_vectors", "v", "v_steps", "val", "variance", "vaxis_rotate", "vcross", "vdot", "version",
    "vertex_vectors", "vertical_depth", "vlength", "vnormalize", "vrotate", "vstr", "vturbulence", "warning",
    "water_level", "waves", "while", "wood", "wrinkles", "write", "x", "xyz", "y", "yes", "z",
};

}  // namespace

int pov_reserved_word(const char* word)
{
    auto less = [](const char* a, const char* b) { return strcmp(a, b) < 0; };
    const char* const* at = std::lower_bound(std::begin(reserved), std::end(reserved), word, less);
    return at != std::end(reserved) && !strcmp(*at, word);
}
