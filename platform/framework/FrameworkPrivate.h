#pragma once

// Internal to the framework library.

// Routes one framework line to Framework::m_pLog when a host installed it,
// else to the log library under "Framework". The text is never a format.
void frameworkLog(const char* text);
