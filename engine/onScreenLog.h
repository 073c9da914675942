// The on-screen drawing of the log's visual lines and of its error message (the game scene's frame
// draws them after the GUI).
#pragma once

void draw_visual_log();
void draw_error_message();
