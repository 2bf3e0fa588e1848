#pragma once
// Fork and shock maths: the damper curve, the fork's coil and air springs,
// the shock linkage and the mapping of a spring force onto a joint motor.
// The joints carry no spring of their own: each tic the force becomes a motor
// setting (see suspension_motor).

// Damper force at speed v (negative: compression) with the coefficient and
// knee of that direction: opposes v with magnitude min(8k|v|, knee + k|v|),
// never below k|v|/8.
double damper_force(double v, double k_compression, double k_rebound,
                    double knee_compression, double knee_rebound);

struct fork_values {
    double spring_rate;   // lbf/ft
    double preload;       // ft: the spring's offset at full extension
    double air_gap;       // ft (kept at or above air_gap_minimum)
    double travel;        // ft
    double compression, rebound;            // damper k, lbf*s/ft
    double slow_compression, slow_rebound;  // damper knees, lbf
};

// The air spring at compression x (0..travel) with gap a: finite at full
// travel for every gap.
double fork_air_force(double compression, double air_gap, double travel);

// Fork force along the slider at position L (-travel..0) and speed v;
// positive extends. Zero at or beyond full extension.
double fork_force(const fork_values& f, double position, double speed);

struct shock_linkage_curve {
    double knee;           // 0 < b < 1
    double knee_position;  // shock position at b
    double full_position;  // at full travel
    double slope[3];       // at 0, b and 1
};

// Shock position and d(position)/dx at travel fraction x (0..1): two cubic
// Hermite pieces through (0, 0), (b, knee) and (1, full).
void shock_linkage(const shock_linkage_curve& c, double x, double* position, double* slope);

struct shock_values {
    double spring_rate;
    double preload;
    double travel;         // swingarm travel angle, rad
    double compression, rebound;
    double slow_compression, slow_rebound;
    shock_linkage_curve linkage;
};

// Shock torque at the swingarm hinge for angle (-travel..0) and its rate;
// positive extends.
double shock_torque(const shock_values& s, double angle, double rate);

// A force (or torque) as a joint motor: target velocity and FMax.
struct motor_setting {
    double velocity;
    double fmax;
};
motor_setting suspension_motor(double force);

// The fork as one motor row solved with the step: the springs act as the
// force of the tic's start, the damper on the speed the step ends with.
// A motor row with target velocity u and constraint force mixing m pushes
// with (u - v)/m, so u = spring/c and m = 1/c give spring - c*v, c being the
// damper's slope (force over speed) at the present speed. An explicit damper
// overshoots once c*dt exceeds the light front end's mass, and the fork then
// rings tic to tic; solved with the step it cannot. FMax bounds the row at
// the force the explicit law would give (and is what the row pushes with at
// a stop). cfm 0 with fmax 0: no force (fully extended).
struct damped_motor_setting {
    double velocity;
    double fmax;
    double cfm;
};
damped_motor_setting fork_motor(const fork_values& f, double position, double speed);

// The shock as the same kind of row on the swingarm hinge: torques against
// the hinge's angle rate. The swingarm and wheel are as light next to the
// shock's damper as the fork's lower leg is next to its own, and an
// explicit shock rang the rear the same way.
damped_motor_setting shock_motor(const shock_values& s, double angle, double rate);

// Telemetry: valve ratio g/(k|v| + g) with the compression pair for v < 0 and
// the rebound pair otherwise; *flow gets k|v| + g.
double valve_ratio(const float pairs[4], double speed, double* flow);
