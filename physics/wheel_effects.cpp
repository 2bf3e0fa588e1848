#include "physics/wheel_effects.h"

#include <cmath>
#include <cstring>

#include "core/rng.h"

int32_t roost_frequency = 100;
void (*roost_emitter)(const wheel_contact* contact, int count, float spread) = nullptr;
void (*treadmark_place)(float tracker[3], const float point[3], float slip_speed, float wheel_speed, int front) =
    nullptr;

int roost_count(int32_t frequency, uint32_t random_word)
{
    int count = frequency / 100;
    if ((int32_t)(random_word % 100) < frequency % 100)
        count++;
    return count;
}

void roost_tic(const ride_world& w, rider* r)
{
    int count = roost_count(roost_frequency, mt_next());
    if (count == 0)
        return;
    rider_contacts_refresh(w, r);
    if (!roost_emitter)
        return;
    roost_emitter(&r->front_contact, count, 0.3926991f);
    roost_emitter(&r->rear_contact, count, 6.2831855f);
}

void treadmarks_tic(const ride_world& w, rider* r)
{
    rider_contacts_refresh(w, r);
    ride_state* s = ride_state_of(r);
    wheel_contact* wheels[2] = {&r->front_contact, &r->rear_contact};
    for (int k = 0; k < 2; k++) {
        wheel_contact* c = wheels[k];
        float* tracker = s->treadmark[k];
        if (!(c->depth > 0.0f)) {
            tracker[1] = 1.0f;
        } else if (tracker[1] != 1.0f) {
            if (treadmark_place) {
                float slip = std::sqrt(c->slip_velocity[0] * c->slip_velocity[0] +
                                       c->slip_velocity[1] * c->slip_velocity[1] +
                                       c->slip_velocity[2] * c->slip_velocity[2]);
                const dReal* v = dBodyGetLinearVel(c->body);
                float speed = (float)std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
                treadmark_place(tracker, c->contact_point, slip, speed, k == 0);
            }
        } else {
            // First tic of a new contact: start tracking from here, no mark yet.
            tracker[1] = 0.0f;
            tracker[0] = c->contact_point[0];
            tracker[2] = c->contact_point[2];
        }
    }
}

namespace {

const wheel_contact* refreshed(const ride_world& w, rider* r, int front)
{
    rider_contacts_refresh(w, r);
    return front ? &r->front_contact : &r->rear_contact;
}

int vector_query(const wheel_contact* c, const float* v, float out[3])
{
    if (!(c->depth > 0.0f))
        return 0;
    memcpy(out, v, 3 * sizeof(float));
    return 1;
}

int velocity_query(const wheel_contact* c, float out[3])
{
    if (!(c->depth > 0.0f))
        return 0;
    dVector3 v;
    dBodyGetPointVel(c->body, c->contact_point[0], c->contact_point[1], c->contact_point[2], v);
    out[0] = (float)v[0], out[1] = (float)v[1], out[2] = (float)v[2];
    return 1;
}

}  // namespace

float rider_front_contact_depth(const ride_world& w, rider* r) { return refreshed(w, r, 1)->depth; }
float rider_rear_contact_depth(const ride_world& w, rider* r) { return refreshed(w, r, 0)->depth; }

int rider_front_contact_position(const ride_world& w, rider* r, float out[3])
{
    const wheel_contact* c = refreshed(w, r, 1);
    return vector_query(c, c->contact_point, out);
}

int rider_rear_contact_position(const ride_world& w, rider* r, float out[3])
{
    const wheel_contact* c = refreshed(w, r, 0);
    return vector_query(c, c->contact_point, out);
}

int rider_front_contact_slip(const ride_world& w, rider* r, float out[3])
{
    const wheel_contact* c = refreshed(w, r, 1);
    return vector_query(c, c->slip_velocity, out);
}

int rider_rear_contact_slip(const ride_world& w, rider* r, float out[3])
{
    const wheel_contact* c = refreshed(w, r, 0);
    return vector_query(c, c->slip_velocity, out);
}

int rider_front_contact_velocity(const ride_world& w, rider* r, float out[3])
{
    return velocity_query(refreshed(w, r, 1), out);
}

int rider_rear_contact_velocity(const ride_world& w, rider* r, float out[3])
{
    return velocity_query(refreshed(w, r, 0), out);
}
