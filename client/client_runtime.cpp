#include "client_runtime.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "copy_receive.h"
#include "net/wire_format.h"
#include "platform/local_addresses.h"

namespace kestrelon::client {

using namespace kestrelon::wire;

std::string emulated_name(const std::string& base, int index, int count) {
  if (count <= 1) return base;
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "-%03d", index + 1);
  // Keep the whole name within the 40 bytes an announce carries.
  return base.substr(0, 40 - std::strlen(suffix)) + suffix;
}

namespace {

std::string host_name() {
  std::array<char, 256> name{};
  if (::gethostname(name.data(), name.size() - 1) != 0 || name[0] == 0) return "kestrelon-client";
  return std::string(name.data()).substr(0, 40);
}

// 512 emulated Clients need more than the usual 1024 descriptors during a copy.
void raise_descriptor_limit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
}

constexpr Ipv4Address kLoopbackAddress(127, 0, 0, 1);

std::string size_text(std::uint64_t sectors) {
  if (sectors < 2048 * 1024) return std::to_string(sectors / 2048) + " MiB";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f GiB", static_cast<double>(sectors) / (2048.0 * 1024.0));
  return text;
}

// --disk auto: the PC's fixed disks, each named in the log, the first four offered.
std::vector<std::string> discovered_disks(const SystemPaths& system, ClientLog& log) {
  const DiskSurvey survey = survey_disks(system);
  for (const LeftOutDisk& d : survey.left_out) log.note("disks", d.name + " left out: " + d.why);
  std::vector<std::string> paths;
  std::string unlisted;
  for (const FoundDisk& d : survey.disks) {
    const std::string text = d.path + " (" + d.kind + ", " + size_text(d.sectors) + ")";
    if (paths.size() < static_cast<std::size_t>(kMaxDisks)) {
      paths.push_back(d.path);
      log.note("disks", "disk " + std::to_string(paths.size()) + ": " + text);
    } else {
      unlisted += (unlisted.empty() ? "" : ", ") + text;
    }
  }
  if (!unlisted.empty()) log.note("disks", "the Controller lists four disks; not offered: " + unlisted);
  if (survey.disks.empty()) log.note("disks", "no fixed disk found");
  return paths;
}

}  // namespace

std::unique_ptr<ClientRuntime> ClientRuntime::create(const ClientOptions& options, std::string* error,
                                                     std::unique_ptr<ClientLog> log) {
  std::unique_ptr<ClientRuntime> rt(new ClientRuntime());
  rt->options_ = options;
  rt->log_ = log ? std::move(log) : std::make_unique<ClientLog>(options.verbose);
  if (options.discover_disks) {
    // A PC's disk with a damaged table is still offered, without partitions, so
    // that an image can be copied onto it.
    if (!rt->disks_.load(discovered_disks(options.system_paths, *rt->log_), error, true)) return nullptr;
  } else if (!rt->disks_.load(options.disks, error)) {
    return nullptr;
  }
  if (options.store_sectors != 0) rt->disks_.add_store_disk(options.store_sectors);
  for (const DiskInfo& disk : rt->disks_.disks()) {
    if (!disk.table_problem.empty()) rt->log_->note("disk", disk.table_problem + "; announced without partitions");
    if (disk.broken_copy) rt->log_->note("disk", broken_copy_text(disk));
    if (disk.table.partitions.size() > static_cast<std::size_t>(kMaxPartitions)) {
      rt->log_->note("disk", disk.path + " has " + std::to_string(disk.table.partitions.size()) +
                                 " partitions; the first 12 are announced, and all are imaged");
    }
  }

  std::vector<Ipv4Address> addresses;
  if (options.address_from) {
    for (int i = 0; i < options.count; ++i) {
      addresses.emplace_back(options.address_from->value() + static_cast<std::uint32_t>(i));
    }
  } else if (options.address) {
    addresses.push_back(*options.address);
  } else if (options.interface_name) {
    const auto on_interface = interface_ipv4_addresses(*options.interface_name);
    if (on_interface.empty()) {
      if (error) *error = "interface " + *options.interface_name + " has no IPv4 address (or does not exist)";
      return nullptr;
    }
    addresses.push_back(on_interface.front());
  } else {
    // Unnamed, the Client keeps to this machine: answering discovery on a real
    // network, and so receiving copies onto its disks, needs its address named.
    addresses.push_back(kLoopbackAddress);
  }
  if (addresses.size() > 500) raise_descriptor_limit();

  const std::string base = options.name.empty() ? host_name() : options.name;
  const int count = static_cast<int>(addresses.size());
  for (int i = 0; i < count; ++i) {
    NodeSettings s;
    s.index = i;
    s.address = addresses[static_cast<std::size_t>(i)];
    s.name = emulated_name(base, i, count);
    if (options.store_dir) s.store_dir = count > 1 ? *options.store_dir + "/" + s.address.text() : *options.store_dir;
    s.allow_write = options.allow_write;
    s.restores_allowed = count == 1;
    s.reorder_blocks = reorder_blocks_for(count);
    if (options.upload_window > 0) s.upload.window = static_cast<std::uint32_t>(options.upload_window);
    if (options.stop_and_wait) s.upload.window = 1;
    s.upload.compress_threads = options.compress_threads;
    if (options.zlib) s.upload.method = image::kZlib;
    auto node = std::make_unique<ClientNode>(s, rt->disks_, options.faults, *rt->log_);
    if (!node->open(error)) return nullptr;
    rt->nodes_.push_back(std::move(node));
  }
  if (!rt->open_group(error)) return nullptr;
  rt->wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (rt->wake_fd_ < 0) {
    if (error) *error = std::string("eventfd failed: ") + std::strerror(errno);
    return nullptr;
  }
  return rt;
}

ClientRuntime::~ClientRuntime() {
  nodes_.clear();
  if (wake_fd_ >= 0) ::close(wake_fd_);
}

bool ClientRuntime::open_group(std::string* error) {
  const auto failed = [&](const std::string& what, int rc) {
    if (error) *error = what + ": " + std::strerror(rc);
    return false;
  };
  if (int rc = group_.open(); rc != 0) return failed("opening the control group socket", rc);
  group_.set_reuse_address(true);
  if (int rc = group_.bind(kControlGroup, kControlPort); rc != 0) {
    return failed("binding the control group " + kControlGroup.text() + ":4747", rc);
  }
  // Join on the interface of every Client address; addresses on one interface
  // share one membership, so "already a member" is not an error.
  for (const auto& node : nodes_) {
    const int rc = group_.join_group(kControlGroup, node->self());
    if (rc != 0 && rc != EADDRINUSE) {
      return failed("joining the control group on the interface of " + node->self().text(), rc);
    }
  }
  group_.set_nonblocking(true);
  return true;
}

std::vector<Ipv4Address> ClientRuntime::addresses() const {
  std::vector<Ipv4Address> a;
  for (const auto& n : nodes_) a.push_back(n->self());
  return a;
}

void ClientRuntime::stop() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(wake_fd_, &one, sizeof one);
}

void ClientRuntime::drain_group(Tick now) {
  std::array<std::uint8_t, 2048> buffer;
  for (;;) {
    const ReceiveResult r = group_.receive(buffer);
    if (r.status != ReceiveResult::Status::datagram) return;
    const auto d = std::span<const std::uint8_t>(buffer.data(), r.length);
    for (auto& node : nodes_) node->on_group_datagram(d, r.from, now);
  }
}

int ClientRuntime::run() {
  std::vector<pollfd> fds;
  // Which node a descriptor belongs to, and whether it is its data socket.
  std::vector<std::pair<std::size_t, bool>> owners;
  for (;;) {
    fds.clear();
    owners.clear();
    fds.push_back(pollfd{wake_fd_, POLLIN, 0});
    fds.push_back(pollfd{group_.fd(), POLLIN, 0});
    std::optional<Tick> next;
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
      fds.push_back(pollfd{nodes_[i]->control_fd(), POLLIN, 0});
      owners.emplace_back(i, false);
      if (const int data = nodes_[i]->data_fd(); data >= 0) {
        fds.push_back(pollfd{data, POLLIN, 0});
        owners.emplace_back(i, true);
      }
      if (const auto t = nodes_[i]->next_deadline(); t && (!next || tick_later(*next, *t))) next = t;
    }
    int timeout = 1000;
    if (next) {
      const auto wait = static_cast<std::int32_t>(*next - tick_count());
      timeout = std::clamp(wait, 0, 1000);
    }
    const int ready = ::poll(fds.data(), fds.size(), timeout);
    if (ready < 0 && errno != EINTR) {
      log_->note("client", std::string("poll failed: ") + std::strerror(errno));
      return 2;
    }
    if (fds[0].revents & POLLIN) return 0;
    const Tick now = tick_count();
    if (fds[1].revents & POLLIN) drain_group(now);
    for (std::size_t k = 2; k < fds.size(); ++k) {
      if (!(fds[k].revents & POLLIN)) continue;
      auto [index, data] = owners[k - 2];
      if (data) {
        nodes_[index]->drain_data(now, data_batch_);
      } else {
        nodes_[index]->drain_control(now);
      }
    }
    const Tick after = tick_count();
    int ended = 0, good = 0;
    for (auto& node : nodes_) {
      node->tick(after);
      if (node->transfers_finished() > 0 && !node->transfer_running()) ++ended;
      if (node->transfers_succeeded() > 0) ++good;
    }
    if (options_.once && ended == static_cast<int>(nodes_.size())) {
      return good == ended ? 0 : 1;
    }
  }
}

}  // namespace kestrelon::client
