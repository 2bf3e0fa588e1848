// The prelude: plain JavaScript evaluated on "zt" before every track script.
// It is wrapped in a function so that it leaves no global but "zt".
#include "script/script_api.h"

const char script_prelude[] = R"js((function () {
var zt_ = zt;
// Constants, read once at load.
zt_.max_slots = zt_.get_max_slots();
zt_.first_lap_length = zt_.get_first_lap_length();
zt_.normal_lap_length = zt_.get_normal_lap_length();
zt_.seconds_per_tic = zt_.get_seconds_per_tic();
zt_.tics_per_second = 1 / zt_.seconds_per_tic;
zt_.seed = zt_.get_seed();
zt_.seconds = 0;

// The race order, best first, with times in seconds.
zt_.get_running_order = function () {
  var n = zt_.get_running_count(), order = [];
  for (var i = 0; i < n; i++)
    order.push({ slot: zt_.get_running_order_slot(i),
                 position: zt_.get_running_order_position(i),
                 time: zt_.get_running_order_time(i) * zt_.seconds_per_tic });
  return order;
};

// The handlers a track script replaces.
zt_.frame_handler = function (seconds) {};
zt_.tic_handler = function (seconds) {};
zt_.script_message_handler = function (msg) {};

// The dispatchers the game calls, with the tic count as text.
zt_.frame_handler_ = function (tics) {
  zt_.seconds = tics * zt_.seconds_per_tic;
  if (typeof zt_.frame_handler === 'function') zt_.frame_handler(zt_.seconds);
};
zt_.tic_handler_ = function (tics) {
  zt_.seconds = tics * zt_.seconds_per_tic;
  if (typeof zt_.tic_handler === 'function') zt_.tic_handler(zt_.seconds);
};
zt_.script_message_handler_ = function (msg) {
  if (typeof zt_.script_message_handler === 'function') zt_.script_message_handler(msg);
};

// Laps and timing positions: lap n ends at this position.
zt_.lap_to_index = function (lap) {
  if (lap == 0) return 0;
  return zt_.first_lap_length + zt_.normal_lap_length * (lap - 1) - 1;
};
zt_.index_to_lap = function (index) {
  if (zt_.normal_lap_length == 0 || index < zt_.first_lap_length) return 0;
  return 1 + Math.floor((index - zt_.first_lap_length) / zt_.normal_lap_length);
};

// A rider's main body position and velocity, null for an empty slot.
zt_.get_position = function (slot) {
  var v = [0, 0, 0];
  return zt_.get_position_(slot, v) ? v : null;
};
zt_.get_velocity = function (slot) {
  var v = [0, 0, 0];
  return zt_.get_velocity_(slot, v) ? v : null;
};

// A pose sequence from { frame_count, bone_count, rest_centers,
// poses: [{ centers, rotations }] }; its index, -1 when refused.
zt_.cache_pose_sequence = function (anim) {
  var bones = anim.bone_count, frames = anim.frame_count;
  var seq = zt_.create_pose_sequence(frames, bones);
  if (seq < 0) return seq;
  for (var b = 0; b < bones; b++)
    zt_.set_pose_sequence_rest(seq, b, anim.rest_centers.slice(3 * b, 3 * b + 3));
  for (var f = 0; f < frames; f++) {
    var pose = anim.poses[f];
    for (var b2 = 0; b2 < bones; b2++)
      zt_.set_pose_sequence_frame(seq, f, b2, pose.centers.slice(3 * b2, 3 * b2 + 3),
                                  pose.rotations.slice(9 * b2, 9 * b2 + 9));
  }
  return seq;
};
})();
)js";
