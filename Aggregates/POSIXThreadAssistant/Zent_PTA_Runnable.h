// Something a Zent::PTA::Thread runs: the thread's body is Run.
#pragma once

namespace Zent {
namespace PTA {

class Runnable {
public:
    virtual ~Runnable() = default;
    // Runs on the thread, once per Thread::Start.
    virtual void Run() = 0;
};

}  // namespace PTA
}  // namespace Zent
