#include "lab_controller.h"

#include <thread>

#include "../net/scripted_copy_port.h"
#include "commands/headless_receiving_dialog.h"

namespace kestrelon::lab {
namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

CoreOptions lab_options(const test::TempFolder& folder, const TuningValues& tuning,
                        const std::filesystem::path& journal) {
  CoreOptions o;
  o.addresses = [] { return AddressList{0, {LabNetwork::address(0)}}; };
  o.settings_folder = folder / "settings";
  o.profile_file = folder / "kestreln.ini";
  o.journal_file = journal.empty() ? folder / "transfers.jsonl" : journal;
  o.tuning = tuning;
  return o;
}

// The Create's dialogs as the command line answers them.
class LabCreatePort final : public CreatePort {
 public:
  LabCreatePort(ControllerCore& core, test::RecordingUi& ui, std::string path, ReceiveImageChoice choice,
                std::function<bool()> cancel)
      : core_(core), ui_(ui), path_(std::move(path)), choice_(std::move(choice)), cancel_(std::move(cancel)) {}
  void show_message(const std::string& text) override { ui_.show_message(text); }
  std::optional<std::string> choose_image_path(const std::string&) override { return path_; }
  std::optional<ReceiveImageChoice> ask_receive_image(const ReceiveImageInfo&) override { return choice_; }
  std::unique_ptr<ReceivingDialog> make_receiving_dialog(const ReceivingDialogInfo&) override {
    ReceiveEngine& engine = core_.receive_engine();
    return std::make_unique<HeadlessReceivingDialog>(HeadlessReceivingDialog::Hooks{
        .supervise = [&engine] { engine.supervise(); },
        .refresh = [](std::int32_t) {},
        .idle = [this] { ui_.run_posted(); },
        .cancel_requested = [this] { return cancel_ && cancel_(); },
    });
  }
  void image_folder_chosen(const std::string&) override {}

 private:
  ControllerCore& core_;
  test::RecordingUi& ui_;
  std::string path_;
  ReceiveImageChoice choice_;
  std::function<bool()> cancel_;
};

}  // namespace

LabController::LabController(LabNetwork& net, TuningValues tuning, std::filesystem::path journal)
    : net_(net), core_(ui_, lab_options(folder_, tuning, journal)) {}

LabController::~LabController() { core_.shutdown(); }

bool LabController::start() {
  bool started = false;
  // The endpoint's socket belongs to host 0 from its creation on.
  return net_.run_in(0, [&] { started = core_.start(); }) && started;
}

void LabController::pump() {
  ui_.run_posted();
  core_.idle_pass();
}

bool LabController::discover(const std::vector<std::string>& names, std::chrono::milliseconds limit) {
  const auto end = Steady::now() + limit;
  auto next_request = Steady::now();
  for (;;) {
    pump();
    const CheckListModel& rows = core_.main_client_list().rows();
    std::size_t listed = 0;
    for (const std::string& name : names) {
      for (int r = 0; r < rows.row_count(); ++r) {
        if (rows.cell(r, 0) == name) {
          ++listed;
          break;
        }
      }
    }
    if (listed == names.size()) return true;
    if (Steady::now() >= end) return false;
    if (Steady::now() >= next_request) {
      core_.registry().discover(false);
      next_request += std::chrono::milliseconds(ClientRegistry::kDiscoveryPeriodMs);
    }
    std::this_thread::sleep_for(20ms);
  }
}

void LabController::check_only(const std::vector<std::string>& names) {
  CheckListModel& rows = core_.main_client_list().rows();
  rows.uncheck_all();
  for (int r = 0; r < rows.row_count(); ++r) {
    for (const std::string& name : names) {
      if (rows.cell(r, 0) == name) rows.check(r);
    }
  }
}

CopyFlowResult LabController::copy(const std::string& image, const std::vector<std::string>& names) {
  if (!discover(names, 20s)) return {};
  check_only(names);
  test::ScriptedCopyPort port(ui_);
  port.wait_limit = 120s;
  CopyFlow flow(core_, port);
  return flow.run(image, CopyOptions{});
}

CreateFlowResult LabController::create(const std::string& name, const std::string& path,
                                       const std::string& description, int compression,
                                       std::function<bool()> cancel) {
  if (!discover({name}, 20s)) return {};
  check_only({name});
  LabCreatePort port(core_, ui_, path, ReceiveImageChoice{description, compression}, std::move(cancel));
  CreateFlow flow(core_);
  return flow.run(CreateFlow::checked_addresses(core_.main_client_list().rows()), false, port);
}

}  // namespace kestrelon::lab
