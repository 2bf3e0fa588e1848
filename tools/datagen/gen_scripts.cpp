// The sample tracks' scripts (docs/script_api.md): the stadium's waving
// banners over the stands, a rider statue by the finish jump that cheers
// (arms up, twice) when a rider lands the jump or the gate drops, with the
// crowd's cheer as a sound; the practice track's flag that follows the
// leader. Plus the cheer itself, a raw sound file.
#include <cmath>
#include <cstdint>
#include <string>

#include "tools/datagen/datagen.h"

namespace {

// Every track script wraps itself in a function, so it adds no global but
// what the prelude made.
const char stadium_script[] = R"js((function () {
// Banners on the stands above the wall, waving up and down out of step.
var banner_x = [48, 88, 128, 168, 208];
var banners = [];
for (var i = 0; i < banner_x.length; i++)
  banners.push(zt.add_billboard(banner_x[i], 3, 246, 5, 4,
                                i % 2 ? '#ffcc00#@banner.png' : '@banner_track.png'));

// A rider standing by the finish jump's landing, facing the floor.
var fan_x = 150, fan_z = 226;
var fan = zt.add_statue(fan_x, 0, fan_z, Math.PI, '@rider_body.qm', '@rider_body.png', '');

// The cheer: both arms swing up from the shoulders, twice. Bone pivots of
// the rider model: 0 hips, 1 neck, 2/4 shoulders and 3/5 elbows (left and
// right upper arm and forearm), 6/8 hips and 7/9 knees.
var pivots = [0, 0, 0,  0, 2.05, -0.6,  -0.65, 2.0, -0.7,  -1.05, 1.0, -1.05,
              0.65, 2.0, -0.7,  1.05, 1.0, -1.05,  -0.4, 0, 0,  -0.65, -0.85, -1.1,
              0.4, 0, 0,  0.65, -0.85, -1.1];
var frames = 32, bones = 10, anim = { frame_count: frames, bone_count: bones, rest_centers: pivots, poses: [] };
for (var f = 0; f < frames; f++) {
  var a = 2.6 * Math.abs(Math.sin(2 * Math.PI * f / (frames - 1)));
  var c = Math.cos(a), s = Math.sin(a);
  var raise = [1, 0, 0,  0, c, -s,  0, s, c];
  var centers = pivots.slice(0), rotations = [];
  for (var b = 0; b < bones; b++) rotations = rotations.concat(b >= 2 && b <= 5 ? raise : [1, 0, 0, 0, 1, 0, 0, 0, 1]);
  // Each forearm's elbow swings with its upper arm round the shoulder.
  for (var side = 0; side < 2; side++) {
    var sh = 6 + 6 * side, el = 9 + 6 * side;
    var dy = pivots[el + 1] - pivots[sh + 1], dz = pivots[el + 2] - pivots[sh + 2];
    centers[el + 1] = pivots[sh + 1] + c * dy - s * dz;
    centers[el + 2] = pivots[sh + 2] + s * dy + c * dz;
  }
  anim.poses.push({ centers: centers, rotations: rotations });
}
var cheer_pose = zt.cache_pose_sequence(anim);
zt.pose_statue_from_sequence(fan, cheer_pose, 0);

var cheer_sound = zt.add_sound('@tracks/stadium/cheer.raw');
zt.set_sound_freq(cheer_sound, 22050);
zt.set_sound_vol(cheer_sound, 1);
zt.set_sound_pos(cheer_sound, fan_x, zt.get_elevation(fan_x, fan_z) + 4, fan_z);

var cheer_start = -1, gate_dropped = false;
function cheer(seconds) {
  if (cheer_start >= 0 && seconds - cheer_start < 2) return;
  cheer_start = seconds;
  zt.start_sound(cheer_sound);
}

// Riders in the air for a quarter second or more that come down on the
// finish jump's landing.
var airborne = [], p = [0, 0, 0];
for (var k = 0; k < zt.max_slots; k++) airborne.push(0);
zt.tic_handler = function (seconds) {
  if (!gate_dropped && zt.get_gate_drop_time() >= 0) {
    gate_dropped = true;
    cheer(seconds);
  }
  var n = zt.get_running_count();
  for (var i = 0; i < n; i++) {
    var slot = zt.get_running_order_slot(i);
    if (zt.get_front_contact_depth(slot) <= 0 && zt.get_rear_contact_depth(slot) <= 0) {
      airborne[slot]++;
      continue;
    }
    if (airborne[slot] >= 32 && zt.get_position_(slot, p) && p[0] > 120 && p[0] < 190 && p[2] > 190 && p[2] < 220)
      cheer(seconds);
    airborne[slot] = 0;
  }
};

zt.frame_handler = function (seconds) {
  for (var i = 0; i < banners.length; i++)
    zt.move_billboard(banners[i], banner_x[i], 3 + 0.8 * Math.sin(seconds * 2 + i * 1.3), 246);
  var t = cheer_start < 0 ? 0 : (seconds - cheer_start) * frames / 2;
  zt.pose_statue_from_sequence(fan, cheer_pose, t < frames ? t : 0);
};
})();
)js";

const char practice_script[] = R"js((function () {
// A red flag on a pole that follows the leader round the loop.
var flag = zt.add_billboard(200, 9, 120, 4, 1.5, '#ff2020#@banner.png');
var x = 200, z = 120, p = [0, 0, 0];
zt.tic_handler = function (seconds) {
  var slot = zt.get_running_count() > 0 ? zt.get_running_order_slot(0) : zt.get_player_slot();
  if (zt.get_position_(slot, p)) {
    // Eased, so it trails the leader by about a second.
    x += (p[0] - x) / 128;
    z += (p[2] - z) / 128;
  }
  zt.move_billboard(flag, x, 9 + 0.5 * Math.sin(seconds * 3), z);
};
})();
)js";

// A crowd's cheer: 1.5 s at 22050 samples a second of noise, softened by a
// two-pole low-pass, swelling in and dying away. Raw signed 16-bit
// little-endian mono, as script sounds are read.
std::string cheer_sound()
{
    const int rate = 22050, count = rate * 3 / 2;
    std::string bytes;
    bytes.reserve(size_t(count) * 2);
    uint32_t state = 12345;
    double lp1 = 0, lp2 = 0;
    for (int i = 0; i < count; i++) {
        state = state * 1664525u + 1013904223u;
        double noise = double(state >> 8) / double(1 << 24) * 2 - 1;
        lp1 += 0.25 * (noise - lp1);
        lp2 += 0.25 * (lp1 - lp2);
        double t = double(i) / count;
        double envelope = std::fmin(1.0, t * 8) * (1 - t) * (1 - t);
        int v = int(std::lround(lp2 * envelope * 3.0 * 32767));
        v = v < -32768 ? -32768 : v > 32767 ? 32767 : v;
        bytes += char(v & 0xff);
        bytes += char((v >> 8) & 0xff);
    }
    return bytes;
}

int write_scripts(const std::string& root)
{
    return datagen_write_text(root, "tracks/stadium/frills.js", stadium_script) &&
           datagen_write_text(root, "tracks/practice/frills.js", practice_script) &&
           datagen_write_text(root, "tracks/stadium/cheer.raw", cheer_sound());
}

}  // namespace

DATAGEN_STEP("46_track_scripts", write_scripts);
