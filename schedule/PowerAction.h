#pragma once

// Switching the machine off or to sleep sits behind this interface so that
// the task controller can be tested with a double that only records calls.
class IPowerAction
{
public:
    virtual ~IPowerAction() = default;
    virtual bool shutdown() = 0;
    virtual bool sleep() = 0;
};

// Asks systemd, as the desktop's own power menu does.
class SystemPowerAction : public IPowerAction
{
public:
    bool shutdown() override;
    bool sleep() override;
};
