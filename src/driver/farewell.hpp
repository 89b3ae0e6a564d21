// What every end of a run after start-up does, in the one place that
// catches the exit request.
#pragma once

// Removes the working files, prints a line end and the farewell message
// and releases the catalogue.
void SayFarewell();
