#include "driver/dialogue.hpp"

#include "driver/installc.hpp"

void RunDialogue(RunState&) { exite(0); }
