#pragma once
// Test helpers for the JACK integration tests: a JACK server of the test's
// own (the dummy driver, a unique name, killed whatever happens) and a JACK
// client that records what it is connected to.
//
// The server is this process's child and dies with it (parent-death
// signal), so even a crashing test leaves no server behind.
//
// JACK servers of one user share their shared-memory registry and their
// metadata store, so servers started side by side by parallel test
// processes disturb each other. A Server therefore holds an exclusive lock
// for its whole life: the JACK tests of all binaries take turns. The lock is
// taken on a file of the source tree opened for reading; nothing is written.

#include <fcntl.h>
#include <jack/jack.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace jacktest {

inline std::string uniqueServerName(const std::string& tag) {
  return "igbtest-" + tag + "-" + std::to_string(getpid()) + "-" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000);
}

// Points every libjack client of this process at `server` and forbids
// starting one.
inline void useServer(const std::string& server) {
  setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
  setenv("JACK_NO_START_SERVER", "1", 1);
}

inline bool serverAnswers(const std::string& server) {
  jack_status_t status{};
  jack_client_t* c = jack_client_open("igbtest-probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                      &status, server.c_str());
  if (!c) return false;
  jack_client_close(c);
  return true;
}

class Server {
 public:
  explicit Server(std::string name, int rate = 44100, int period = 128)
      : name_(std::move(name)), rate_(rate), period_(period) {
    lock_ = ::open(IGB_SOURCE_DIR "/tests/platform/audio/jack_test_support.h", O_RDONLY | O_CLOEXEC);
    if (lock_ >= 0) {
      while (flock(lock_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~Server() {
    stop();
    if (lock_ >= 0) ::close(lock_);  // releases the lock
  }
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  const std::string& name() const { return name_; }
  bool running() const { return pid_ > 0; }

  // jackd -n NAME -d dummy -r RATE -p PERIOD; waits until it answers. When
  // real-time scheduling is refused it tries once more without it.
  bool start() {
    if (launch(false) && waitReady()) return true;
    stop();
    return launch(true) && waitReady();
  }

  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 300; ++i) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  // The server dies at once, as a crash would take it.
  void killHard() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  bool launch(bool noRealtime) {
    const std::string rate = std::to_string(rate_);
    const std::string period = std::to_string(period_);
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(127);
      const int devnull = ::open("/dev/null", O_RDWR);
      if (devnull >= 0) {
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
      }
      std::vector<const char*> args{"jackd"};
      if (noRealtime) args.push_back("-r");
      for (const char* a : {"-n", name_.c_str(), "-d", "dummy", "-r", rate.c_str(), "-p", period.c_str()}) {
        args.push_back(a);
      }
      args.push_back(nullptr);
      execvp("jackd", const_cast<char* const*>(args.data()));
      _exit(127);
    }
    return true;
  }

  bool waitReady() {
    for (int i = 0; i < 100; ++i) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
      }
      if (serverAnswers(name_)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  std::string name_;
  int rate_;
  int period_;
  pid_t pid_ = -1;
  int lock_ = -1;
};

// A JACK client with input ports that records into memory once armed.
class Recorder {
 public:
  Recorder(const std::string& clientName, size_t capacityFrames, int channels = 2)
      : capacity_(capacityFrames), channels_(channels) {
    jack_status_t status{};
    client_ = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (!client_) return;
    for (int c = 0; c < channels_; ++c) {
      const std::string name = "in_" + std::to_string(c + 1);
      ports_.push_back(jack_port_register(client_, name.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0));
      data_.emplace_back(capacity_, 0.0f);
    }
    jack_set_process_callback(client_, &Recorder::process, this);
    jack_set_xrun_callback(client_, &Recorder::xrun, this);
    if (jack_activate(client_) != 0) {
      jack_client_close(client_);
      client_ = nullptr;
    }
  }
  ~Recorder() {
    if (client_) {
      jack_deactivate(client_);
      jack_client_close(client_);
    }
  }
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  bool ok() const { return client_ != nullptr; }
  jack_client_t* client() const { return client_; }
  std::string inputPort(int channel) const { return jack_port_name(ports_[static_cast<size_t>(channel)]); }

  bool connectFrom(const std::string& source, int channel) {
    return jack_connect(client_, source.c_str(), inputPort(channel).c_str()) == 0;
  }
  bool disconnectFrom(const std::string& source, int channel) {
    return jack_disconnect(client_, source.c_str(), inputPort(channel).c_str()) == 0;
  }

  // Records from the next cycle on, from the start of the buffer.
  void arm() {
    frames_.store(0);
    xruns_.store(0);
    armed_.store(true);
  }
  size_t frames() const { return frames_.load(); }
  int xruns() const { return xruns_.load(); }

  bool waitForFrames(size_t n, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (frames_.load() < n) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  // The first `n` recorded samples (at most what was recorded) back in
  // 16-bit steps. Recording goes on meanwhile: take `n` from frames() once
  // for all channels.
  std::vector<int16_t> channel(int c, size_t n) const {
    n = std::min(n, frames_.load());
    std::vector<int16_t> out(n);
    for (size_t i = 0; i < n; ++i) {
      const float v = std::lround(data_[static_cast<size_t>(c)][i] * 32768.0f);
      out[i] = static_cast<int16_t>(std::fmax(-32768.0f, std::fmin(32767.0f, v)));
    }
    return out;
  }

 private:
  static int process(jack_nframes_t n, void* arg) {
    auto* self = static_cast<Recorder*>(arg);
    if (!self->armed_.load()) return 0;
    const size_t at = self->frames_.load(std::memory_order_relaxed);
    const size_t take = std::min<size_t>(n, self->capacity_ - at);
    for (int c = 0; c < self->channels_; ++c) {
      const auto* in = static_cast<const float*>(jack_port_get_buffer(self->ports_[static_cast<size_t>(c)], n));
      std::copy(in, in + take, self->data_[static_cast<size_t>(c)].begin() + static_cast<std::ptrdiff_t>(at));
    }
    self->frames_.store(at + take, std::memory_order_release);
    return 0;
  }
  static int xrun(void* arg) {
    static_cast<Recorder*>(arg)->xruns_.fetch_add(1);
    return 0;
  }

  jack_client_t* client_ = nullptr;
  size_t capacity_;
  int channels_;
  std::vector<jack_port_t*> ports_;
  std::vector<std::vector<float>> data_;
  std::atomic<bool> armed_{false};
  std::atomic<size_t> frames_{0};
  std::atomic<int> xruns_{0};
};

}  // namespace jacktest
