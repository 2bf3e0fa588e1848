#include <gtest/gtest.h>

#include "test_ztgl_fake_gl.h"

namespace {

struct queue_test : ::testing::Test {
  void SetUp() override { fake_gl_layer_setup(); }
};

// Fills the queue to `words` words with one-word commands.
void fill_queue(int words) {
  for (int i = 0; i < words; i++) ztgl_queue.words[i] = ZTGL_OP_LOAD_IDENTITY;
  ztgl_queue.count = words;
  ztgl_queue.last_command = words - 1;
}

struct boundary_case {
  int in_use;
  int command_words;
  bool flushes;
};

TEST_F(queue_test, writer_flushes_only_when_its_command_would_not_fit) {
  const boundary_case cases[] = {
      {ZTGL_QUEUE_WORDS - 4, 4, false},  {ZTGL_QUEUE_WORDS - 3, 4, true},
      {ZTGL_QUEUE_WORDS - 17, 17, false}, {ZTGL_QUEUE_WORDS - 16, 17, true},
      {ZTGL_QUEUE_WORDS - 1, 1, false},   {ZTGL_QUEUE_WORDS, 1, true},
  };
  static const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  for (const auto& c : cases) {
    fill_queue(c.in_use);
    if (c.command_words == 4)
      ztglTranslatef(1, 2, 3);
    else if (c.command_words == 17)
      ztglMultMatrixf(m);
    else
      ztglPushMatrix();
    int expected = c.flushes ? c.command_words : c.in_use + c.command_words;
    EXPECT_EQ(ztgl_queue.count, expected) << c.in_use << " + " << c.command_words;
    // The command is whole wherever it landed.
    EXPECT_EQ(ztgl_command_words(ztgl_queue.words[expected - c.command_words]), c.command_words);
    ztgl_flush();
  }
}

TEST_F(queue_test, full_buffer_runs_without_loss) {
  // 262,144 translations of one unit fill all 1,048,576 words exactly.
  for (int i = 0; i < ZTGL_QUEUE_WORDS / 4; i++) ztglTranslatef(1, 0, 0);
  ASSERT_EQ(ztgl_queue.count, ZTGL_QUEUE_WORDS);
  ztgl_flush();
  EXPECT_EQ(ztgl_queue.count, 0);
  EXPECT_EQ(ztgl_current_matrix(0)[12], (float)(ZTGL_QUEUE_WORDS / 4));
  // One more than fits: the first command runs at the flush, the last one waits.
  ztglLoadIdentity();
  for (int i = 0; i < ZTGL_QUEUE_WORDS / 4; i++) ztglTranslatef(0, 1, 0);
  EXPECT_EQ(ztgl_queue.count, 4);
  ztgl_flush();
  EXPECT_EQ(ztgl_current_matrix(0)[13], (float)(ZTGL_QUEUE_WORDS / 4));
}

TEST_F(queue_test, commands_reach_gl_in_order_with_their_operands) {
  ztglEnable(GL_BLEND);
  ztglBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  ztglActiveTexture(GL_TEXTURE2);
  ztglBindTexture(GL_TEXTURE_2D, 77);
  ztglDepthFunc(GL_LEQUAL);
  ztglDepthMask(256);  // only the low byte counts: false
  ztglDepthMask(257);
  ztglDisable(GL_DEPTH_TEST);
  EXPECT_TRUE(fake_gl.calls.empty());
  ztgl_flush();
  std::vector<std::string> names;
  for (const auto& c : fake_gl.calls) names.push_back(c.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Enable", "BlendFunc", "ActiveTexture", "BindTexture",
                                             "DepthFunc", "DepthMask", "DepthMask", "Disable"}));
  auto masks = fake_calls("DepthMask");
  EXPECT_EQ(masks[0].a, 0u);
  EXPECT_EQ(masks[1].a, 1u);
  EXPECT_EQ(fake_calls("BlendFunc")[0].b, (unsigned)GL_ONE_MINUS_SRC_ALPHA);
  EXPECT_EQ(fake_calls("BindTexture")[0].b, 77u);
  EXPECT_EQ(ztgl_state.active_unit, 2);
}

TEST_F(queue_test, empty_flush_still_uploads_and_finishes_the_batch) {
  imm_begin(IMM_TRIANGLES);
  imm_vertex2(1, 2);
  imm_vertex2(3, 4);
  ztgl_flush();
  EXPECT_EQ(ztgl_queue.count, 0);
  auto uploads = fake_calls("BufferSubData");
  ASSERT_EQ(uploads.size(), 1u);
  EXPECT_EQ(uploads[0].b, 2u * 48u);
  // The saved bindings come back, the vertex array first.
  auto arrays = fake_calls("BindVertexArray");
  ASSERT_EQ(arrays.size(), 2u);
  EXPECT_EQ(arrays[0].a, 11u);
  EXPECT_EQ(arrays[1].a, 0u);
  EXPECT_EQ(fake_gl.bound_array_buffer, 0);
  // Nothing queued and nothing open: the flush touches no GL at all.
  imm_end();
  ztgl_flush();
  fake_gl.calls.clear();
  ztgl_flush();
  EXPECT_TRUE(fake_gl.calls.empty());
}

struct corrupt_case {
  uint32_t words[3];
  int count;
};

TEST_F(queue_test, corrupt_command_ends_the_process) {
  const corrupt_case cases[] = {
      {{0, 0, 0}, 1},                       // opcode 0
      {{21, 0, 0}, 1},                      // past the last opcode
      {{ZTGL_OP_LOAD_IDENTITY, 0xffffffffu, 0}, 2},
      {{ZTGL_OP_TRANSLATE, 0, 0}, 3},       // operands cut off by the end
  };
  for (const auto& c : cases) {
    EXPECT_EXIT(
        {
          memcpy(ztgl_queue.words, c.words, sizeof c.words);
          ztgl_queue.count = c.count;
          ztgl_flush();
        },
        ::testing::ExitedWithCode(1), "^Invalid GL command queued\n$");
  }
}

}  // namespace
