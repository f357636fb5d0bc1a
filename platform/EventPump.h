// The hook through which a long operation lets the user interface handle what is
// waiting in its event queue. The desktop program processes its Qt events here, the
// CLI does nothing, tests count the calls.
#pragma once

namespace tvl {

class IEventPump {
public:
    virtual ~IEventPump() = default;
    virtual void ProcessPendingEvents() = 0;
};

} // namespace tvl
