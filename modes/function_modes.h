#pragma once
// The function modes built on the two layers' base modes, for the mediator
// that creates them.

#include "modes/gbx_ui_state_step_jump.h"
#include "modes/z31647_ui_state_motion_clear.h"
#include "modes/z31647_ui_state_move_data.h"
#include "modes/z31647_ui_state_part_clear.h"
#include "modes/z31647_ui_state_pattern_set.h"
#include "modes/z31647_ui_state_randomize.h"
#include "modes/z31647_ui_state_step_copy.h"
