#pragma once

int IsCompanionInstalled();
int RunCompanionProbe();
