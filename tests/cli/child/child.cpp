// The process that the command-line tests watch: it only waits to be ended, for a minute at most.
#include <chrono>
#include <thread>

int main()
{
    std::this_thread::sleep_for(std::chrono::minutes(1));
}
