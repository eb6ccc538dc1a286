#include "Prompts.h"
TPrompts* g = nullptr;
TPrompts& Prompts() { return *g; }
void SetPrompts(TPrompts* p) { g = p; }
void SetPromptParent(QWidget*) {}
