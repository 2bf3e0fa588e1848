// Ten thousand tics of a crash-heavy ride over bumps: full throttle, hard
// steering and pitching, a crash forced every few seconds. At every tic the
// rider is posed as the world view poses it and every vertex of the
// generated rider model is skinned: each must be finite and stay with the
// bike, and while riding the hands stay on the grips.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "gfx/mesh.h"
#include "physics/physics_tic.h"
#include "physics/rider_access.h"
#include "ride_fixture.h"
#include "ui/rider_draw.h"
#include "ui/rider_pose.h"

namespace {

std::string read_file(const char* path)
{
    std::string text;
    if (FILE* f = fopen(path, "rb")) {
        char buffer[65536];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
        fclose(f);
    }
    return text;
}

float bumps(float x, float z) { return 1.5f * std::sin(x * 0.15f) * std::cos(z * 0.11f); }

TEST(rider_pose_ride, ten_thousand_crash_heavy_tics_pose_only_finite_vertices)
{
    // The generated model (build/data; the tests run in build/tests).
    std::string text = read_file("../data/rider_body.qm");
    ASSERT_FALSE(text.empty()) << "generated rider model";
    mesh* model = mesh_parse("rider_body.qm", text.data(), text.size());
    ASSERT_NE(model, nullptr);

    ride_test_world world(2.0f);
    world.set_height(bumps);
    rider* r = world.add_rider("crf250(2013)", 0, 64, 64);
    ASSERT_NE(r, nullptr);
    rider_pose reference;
    rider_reference_pose(rider_model_row(), &reference);

    int crashes = 0, riding_tics = 0, worst_tic = -1;
    double worst_hand = 0;
    for (int tic = 0; tic < 10000; tic++) {
        // Throttle on, steering swinging hard, the rider pitching fore and aft.
        rider_set_throttle(r, 1);
        rider_set_steer(r, std::sin(tic * 0.013f) > 0 ? 1.0f : -1.0f);
        rider_set_control_c(r, std::sin(tic * 0.021f));
        rider_set_control_b(r, 1);
        if (tic % 1500 == 700 && r->crash_tics == 0) rider_crash(r), crashes++;
        world.tic();

        rider_pose pose;
        rider_pose_of(r, &pose);
        float c[rider_bone_count][3], t[rider_bone_count][3], R[rider_bone_count][9];
        const float* hip = pose.origin[bone_torso];
        rider_bone_matrices(&reference, &pose, hip, c, t, R);
        const dReal* body = dBodyGetPosition(r->rider_body);
        for (int p = 0; p < model->part_count; p++) {
            const mesh_part& part = model->parts[p];
            for (int v = 0; v < part.vertex_count; v++) {
                const mesh_vertex& mv = part.vertices[v];
                float out[3] = {0, 0, 0};
                for (int k = 0; k < 4; k++) {
                    float w = mv.weights[k];
                    if (w == 0) continue;
                    int b = int(mv.bones[k]);
                    float d[3] = {mv.position[0] - c[b][0], mv.position[1] - c[b][1], mv.position[2] - c[b][2]};
                    for (int i = 0; i < 3; i++)
                        out[i] += w * (R[b][i] * d[0] + R[b][3 + i] * d[1] + R[b][6 + i] * d[2] + t[b][i]);
                }
                for (int i = 0; i < 3; i++) {
                    float world_coordinate = out[i] + hip[i];
                    ASSERT_TRUE(std::isfinite(world_coordinate)) << "tic " << tic << " part " << part.name;
                    // Limbs stay with the rider: nothing farther from the
                    // rider body than a whole stretched rider (about 7 ft).
                    ASSERT_LT(std::fabs(world_coordinate - float(body[i])), 8.0f)
                        << "tic " << tic << " part " << part.name;
                }
            }
        }
        for (float f : pose.frame[bone_head]) ASSERT_TRUE(std::isfinite(f)) << "tic " << tic;
        // Riding: each forearm points from the elbow at its grip, so the
        // glove (at the reference forearm's length) lands on the grip when
        // the elbow stands that far from it.
        if (r->crash_tics == 0) {
            riding_tics++;
            for (int side = 0; side < 2; side++) {
                float ref = 0, now = 0;
                for (int i = 0; i < 3; i++) {
                    ref += (reference.elbow[side][i] - reference.grip[side][i]) *
                           (reference.elbow[side][i] - reference.grip[side][i]);
                    now += (pose.elbow[side][i] - pose.grip[side][i]) * (pose.elbow[side][i] - pose.grip[side][i]);
                }
                double miss = std::fabs(std::sqrt(ref) - std::sqrt(now));
                if (miss > worst_hand) worst_hand = miss, worst_tic = tic;
            }
        }
    }
    EXPECT_GE(crashes, 5);
    EXPECT_GT(riding_tics, 1000);
    // The glove (radius 0.13 ft) round the grip (0.06 ft): a centre within
    // their sum of the grip's is a hand on the bar.
    EXPECT_LT(worst_hand, 0.19) << "at tic " << worst_tic;
    printf("worst glove miss %.3f ft at tic %d, %d crashes, %d tics riding\n", worst_hand, worst_tic, crashes,
           riding_tics);
    mesh_free(model);
}

}  // namespace
