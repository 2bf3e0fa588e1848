#pragma once
// The auto pilot: computer riders driven along the track's racing lines.
struct rider;

// Once per tic for every rider the auto pilot drives: its controls for the
// next step.
void autopilot_tic(rider* r);
