#pragma once

#include <QString>

#include "schedule/PowerAction.h"

// Shut-down and sleep through logind, which lets the user at the machine do
// both without administrator rights.
class LogindPowerAction : public IPowerAction
{
public:
    bool shutdown() override;
    bool sleep() override;

private:
    bool call(const char* method);
};

// Writes the action to a file instead: what tests put in the daemon's place
// of the machine's power.
class FilePowerAction : public IPowerAction
{
public:
    explicit FilePowerAction(const QString& path) : m_path(path) {}
    bool shutdown() override { return write("shutdown"); }
    bool sleep() override { return write("sleep"); }

private:
    bool write(const char* word);
    QString m_path;
};
