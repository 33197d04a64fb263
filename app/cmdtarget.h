#pragma once

// Something commands are routed to: handles the command and returns true, or
// returns false so that the next target in the route gets it.
class CCmdTarget
{
public:
    virtual ~CCmdTarget() = default;
    virtual bool OnCmdMsg(int id) = 0;
};
