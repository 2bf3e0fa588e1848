// Scripts that try to hang, exhaust or flood the game: each gives one error
// line in the message log, and the hooks return so the game runs on.
#include <string>

#include "core/game_state.h"
#include "game/track_objects.h"
#include "script/script_api.h"
#include "script/script_host.h"
#include "script_fixture.h"
#include "ui/console.h"

namespace {

using hostile = script_fixture;

struct row {
    const char* what;
    const char* script;
    const char* error;  // in the one error line
};

const row rows[] = {
    {"an endless loop in the tic handler", "zt.tic_handler = function () { while (true) {} };", "execution timeout"},
    {"an endless loop at load", "while (true) {}", "execution timeout"},
    {"an endless loop in a catch-all", "zt.tic_handler = function () { for (;;) { try { for (;;) {} } catch (e) {} } };",
     "execution timeout"},
    {"a recursion without end", "function f(n) { return f(n + 1) + 1; } zt.tic_handler = function () { f(0); };",
     "RangeError"},
    {"an allocation loop",
     "zt.tic_handler = function () { var a = []; for (;;) a.push(new Array(100000).join('x') + a.length); };",
     nullptr},  // out of time or out of heap, whichever comes first
    {"a handler that throws every tic", "zt.tic_handler = function (s) { throw new Error('tic ' + s); };", "tic 0"},
    {"a frame handler that throws", "zt.frame_handler = function () { null.x = 1; };", "TypeError"},
    {"a message handler replaced by a number", "zt.script_message_handler_ = 7;", "is not a function"},
    {"a million add_billboard calls from the tic handler",
     "zt.tic_handler = function () { for (var i = 0; i < 1e6; i++) zt.add_billboard(0, 0, 0, 1, 1, 'x'); throw 'done'; };",
     nullptr},
};

// Each script loads, then 300 tics with a frame and a message each run;
// the objects the track had are there again for the next.
void run_rows(script_fixture& t)
{
    int32_t billboards = track_objects.billboards.count, statues = track_objects.statues.count;
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        console_clear();
        ASSERT_EQ(t.load(r.script), 1);
        int32_t loaded = track_objects.billboards.count;
        for (int tic = 0; tic < 300; tic++) {
            tic_counter = tic;
            script_tic();
            script_frame();
            script_message("m");
        }
        EXPECT_EQ(t.errors(), 1);
        if (r.error) {
            EXPECT_EQ(t.log_count(r.error), 1);
        }
        EXPECT_EQ(track_objects.billboards.count, loaded);
        script_unload();
        track_objects_truncate(billboards, statues);
    }
}

TEST_F(hostile, each_gives_one_error_line_and_the_hooks_run_on) { run_rows(*this); }

struct hostile_on_stadium : script_fixture {
    void SetUp() override
    {
        script_fixture::SetUp();
        ASSERT_EQ(use_generated_track("stadium"), 1);
    }
};

// The same on the generated stadium, its own script replaced.
TEST_F(hostile_on_stadium, each_gives_one_error_line_and_the_hooks_run_on) { run_rows(*this); }

TEST_F(hostile, a_million_add_billboard_calls_at_load_add_at_most_the_limit)
{
    ASSERT_EQ(load("for (var i = 0; i < 1e6; i++) zt.add_billboard(i % 100, 0, 0, 1, 1, 'x');"
                   "zt.tic_handler = function () { zt.ran = (zt.ran || 0) + 1; };"),
              1);
    EXPECT_LE(track_objects.billboards.count, script_object_limit);
    EXPECT_GT(track_objects.billboards.count, 0);
    // The first refusal is the load's one line; should the loop also run
    // out of time, the hooks stop without a second.
    EXPECT_EQ(errors(), 1);
    EXPECT_EQ(log_count("add_billboard: a script adds at most 4096 billboards"), 1);
    for (int tic = 0; tic < 10; tic++) script_tic();
    if (errors() == 0) {
        EXPECT_EQ(js("zt.ran"), "10");
    }
    // A second load makes its objects again from scratch, and has its own
    // line.
    track_objects_truncate(0, 0);
    console_clear();
    ASSERT_EQ(load("for (var i = 0; i < 5000; i++) zt.add_statue(1, 0, 0, 0, '', '', '');"
                   "for (var i = 0; i < 5000; i++) zt.add_billboard(1, 0, 0, 1, 1, '');"),
              1);
    EXPECT_EQ(track_objects.billboards.count, script_object_limit);
    EXPECT_EQ(track_objects.statues.count, script_object_limit);
    EXPECT_EQ(errors(), 1);
    EXPECT_EQ(log_count("add_statue: a script adds at most 4096 statues"), 1);
}

TEST_F(hostile, a_heap_that_reaches_its_limit_is_refused_not_grown)
{
    ASSERT_EQ(load("zt.keep = []; zt.tic_handler = function () { for (;;) zt.keep.push(new Array(65536).join('y') + zt.keep.length); };"),
              1);
    script_tic();
    EXPECT_EQ(errors(), 1);
    EXPECT_LE(current_script->heap_bytes, script_heap_limit);
    EXPECT_EQ(script_hooks_stopped, 1);
    // The context still evaluates once the handler's garbage is dropped.
    EXPECT_TRUE(script_eval(current_script, "zt.keep = null;"));
    script_collect_garbage(current_script);
    EXPECT_EQ(js("1 + 1"), "2");
}

}  // namespace
