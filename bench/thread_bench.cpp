// Hand-over costs between two threads: a cross-thread send round trip and a
// ping-pong on the platform semaphore that carries the runtime lock, beside a
// futex semaphore ping-pong, a mutex + condition variable ping-pong and a
// pipe ping-pong. Each iteration is one round trip.
#include "platform/message_queue.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <condition_variable>
#include <mutex>
#include <semaphore>
#include <thread>
#include <unistd.h>

namespace {

using namespace morvex::platform;

constexpr uint32_t MsgAsk = 0x0400;
constexpr uint32_t MsgStop = 0x0401;
constexpr WindowHandle EchoWindow = 900;

void send_round_trip(benchmark::State& state) {
    std::atomic<bool> ready{false};
    std::thread owner([&] {
        register_window(EchoWindow,
                        WindowTarget{current_thread(),
                                     [](void*, const Message& m) { return static_cast<intptr_t>(m.wparam); },
                                     nullptr});
        ready = true;
        Message message;
        while (get_message(message) && message.number != MsgStop) {
        }
        unregister_window(EchoWindow);
    });
    while (!ready)
        std::this_thread::yield();
    uintptr_t i = 0;
    for (auto _ : state) {
        const intptr_t answer = send_message(Message{EchoWindow, MsgAsk, i++, 0});
        benchmark::DoNotOptimize(answer);
    }
    post_message(Message{EchoWindow, MsgStop, 0, 0});
    owner.join();
}

void lock_semaphore_ping_pong(benchmark::State& state) {
    Semaphore ping(0, 1), pong(0, 1);
    std::atomic<bool> stop{false};
    std::thread other([&] {
        while (true) {
            wait_semaphore_or_sent_message(ping);
            if (stop)
                break;
            pong.release();
        }
    });
    for (auto _ : state) {
        ping.release();
        wait_semaphore_or_sent_message(pong);
    }
    stop = true;
    ping.release();
    other.join();
}

void futex_semaphore_ping_pong(benchmark::State& state) {
    std::binary_semaphore ping(0), pong(0);
    std::atomic<bool> stop{false};
    std::thread other([&] {
        while (true) {
            ping.acquire();
            if (stop)
                break;
            pong.release();
        }
    });
    for (auto _ : state) {
        ping.release();
        pong.acquire();
    }
    stop = true;
    ping.release();
    other.join();
}

void mutex_ping_pong(benchmark::State& state) {
    std::mutex mutex;
    std::condition_variable changed;
    int turn = 0; // 0 main, 1 other, 2 stop
    std::thread other([&] {
        std::unique_lock lock(mutex);
        while (true) {
            changed.wait(lock, [&] { return turn != 0; });
            if (turn == 2)
                break;
            turn = 0;
            changed.notify_all();
        }
    });
    for (auto _ : state) {
        std::unique_lock lock(mutex);
        turn = 1;
        changed.notify_all();
        changed.wait(lock, [&] { return turn == 0; });
    }
    {
        std::lock_guard lock(mutex);
        turn = 2;
    }
    changed.notify_all();
    other.join();
}

void pipe_ping_pong(benchmark::State& state) {
    int to_other[2], to_main[2];
    if (pipe(to_other) != 0 || pipe(to_main) != 0) {
        state.SkipWithError("pipe failed");
        return;
    }
    std::thread other([&] {
        char byte;
        while (read(to_other[0], &byte, 1) == 1 && byte != 'q') {
            if (write(to_main[1], &byte, 1) != 1)
                break;
        }
    });
    char byte = 'p';
    for (auto _ : state) {
        if (write(to_other[1], &byte, 1) != 1 || read(to_main[0], &byte, 1) != 1) {
            state.SkipWithError("pipe broke");
            break;
        }
    }
    byte = 'q';
    if (write(to_other[1], &byte, 1) != 1)
        state.SkipWithError("pipe broke");
    other.join();
    for (int fd : {to_other[0], to_other[1], to_main[0], to_main[1]})
        close(fd);
}

} // namespace

BENCHMARK(send_round_trip)->Name("round_trip/cross_thread_send")->UseRealTime();
BENCHMARK(lock_semaphore_ping_pong)->Name("round_trip/runtime_lock_semaphore")->UseRealTime();
BENCHMARK(futex_semaphore_ping_pong)->Name("round_trip/futex_semaphore")->UseRealTime();
BENCHMARK(mutex_ping_pong)->Name("round_trip/mutex_condition_variable")->UseRealTime();
BENCHMARK(pipe_ping_pong)->Name("round_trip/pipe")->UseRealTime();
