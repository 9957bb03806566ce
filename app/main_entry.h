#pragma once

#include <QtGlobal>

class QMessageLogContext;
class QString;

extern "C" __attribute__((visibility("default"))) int main_entry(int argc, char** argv);

void FrameworkCallBackLog(char* text);
void myMessageOutput(QtMsgType type, const QMessageLogContext& context, const QString& message);
