#pragma once

#include "util/errors.h"

class Log;

// `ApplicationEvents1Exception`: every error no handler caught is logged as "M-> " + its text.
// No dialog is ever shown.
class ApplicationErrors : public ErrorHandler
{
public:
    explicit ApplicationErrors(Log &log) : m_log(log) {}
    void handle(const std::exception &e) override;

private:
    Log &m_log;
};
