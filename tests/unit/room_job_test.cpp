// An unattended job over a Controller that has not started its network: the
// targets marked pending before they are woken, booted PCs noted, the missing
// woken again after a minute, the start once enough are ready; the per-PC facts
// in the journal line; the History window's rows and its "Check the failed
// Clients"; the live per-PC table.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>

#include "commands/history_view.h"
#include "commands/live_target_rows.h"
#include "commands/load_group_dialog.h"
#include "commands/protected_targets.h"
#include "commands/room_start.h"
#include "commands/room_targets.h"
#include "commands/schedule_room.h"
#include "model/group_rows.h"
#include "support/recording_ui.h"
#include "support/temp_folder.h"

namespace kestrelon {
namespace {

MacAddress mac(int last) { return MacAddress({0x52, 0x54, 0, 0x4b, 0, static_cast<std::uint8_t>(last)}); }
Ipv4Address here() { return Ipv4Address(10, 1, 12, 1); }

class RoomJob : public ::testing::Test {
 protected:
  RoomJob() {
    std::filesystem::create_directory(temp / "pending");
    CoreOptions options;
    options.settings_folder = temp.path();
    options.profile_file = temp / "kestreln.ini";
    options.journal_file = temp / "state" / "transfers.jsonl";
    options.pending_folder = temp / "pending";
    options.clock = &clock;
    options.neighbours = [this] { return neighbours; };
    core = std::make_unique<ControllerCore>(ui, options);
    core->inventory().update([](std::vector<InventoryEntry>& e) {
      for (int i = 1; i <= 3; ++i)
        e.push_back({.name = "PC-0" + std::to_string(i), .address = Ipv4Address(10, 1, 12, 100 + i), .mac = mac(i),
                     .interface_address = here(), .broadcast = Ipv4Address(10, 1, 12, 255)});
      return true;
    });
  }
  // PC-0N answers at a new address (and has a row in the main client list).
  void lists(int n) {
    ClientRecord& c = core->tables().clients[static_cast<std::size_t>(core->tables().client_count++)];
    c.set_name("PC-0" + std::to_string(n));
    c.address = Ipv4Address(10, 1, 12, 200 + n);
    c.disk_count = 2;
    neighbours.push_back({c.address, mac(n), ""});
    core->main_client_list().rows().append_client_row({c.name_text(), c.address.padded_text(), 2, 0, 100});
  }
  WakeSeams recording(std::vector<MacAddress>& sent) {
    return {.send = [&sent](const MacAddress& m, Ipv4Address, Ipv4Address) {
              sent.push_back(m);
              return 0;
            },
            .interface_with = [](Ipv4Address) { return std::optional<LocalInterface>(); }};
  }

  test::TempFolder temp;
  ManualClock clock;
  test::RecordingUi ui;
  std::vector<NeighbourEntry> neighbours;
  std::unique_ptr<ControllerCore> core;
};

TEST_F(RoomJob, TargetsArePendingWokenAndAwaitedUntilEnoughAreReady) {
  lists(1);  // on already
  std::vector<std::pair<MacAddress, Ipv4Address>> sent;
  WakeSeams seams{.send = [&](const MacAddress& m, Ipv4Address, Ipv4Address to) {
                    sent.emplace_back(m, to);
                    return 0;
                  },
                  .interface_with = [](Ipv4Address) { return std::optional<LocalInterface>(); }};
  auto room_job = std::make_unique<RoomStart>(*core, RoomRequest{.pcs = {{"PC-01", ""}, {"PC-02", ""}, {"PC-03", ""}, {"PC-09", ""}},
                         .wake = true, .min_clients = 3, .max_wait_ms = 300'000},
                 seams);
  RoomStart& room = *room_job;
  const Tick t0 = clock.now();
  const auto& woken = room.begin(t0);
  EXPECT_EQ(room.pending_problem(), "");
  EXPECT_EQ(read_pending(temp / "pending", 0, false).size(), 3u) << "every target with a known card, PC-01 too";
  ASSERT_EQ(woken.size(), 3u) << "PC-01 was on already";
  EXPECT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], std::make_pair(mac(2), Ipv4Address(10, 1, 12, 255)));
  EXPECT_NE(woken[2].problem.find("not in the Client inventory"), std::string::npos);

  EXPECT_EQ(room.poll(1, t0 + 30'000), RoomWait::Decision::wait);
  lists(2);
  core->mac_learner().pass(true);
  EXPECT_EQ(room.poll(2, t0 + 45'000), RoomWait::Decision::wait);
  EXPECT_EQ(room.poll(2, t0 + 60'000), RoomWait::Decision::wait);
  EXPECT_EQ(sent.size(), 3u) << "after a minute only PC-03, still missing, is woken again";
  EXPECT_EQ(sent.back().first, mac(3));
  lists(3);
  core->mac_learner().pass(true);
  EXPECT_EQ(room.poll(3, t0 + 74'200), RoomWait::Decision::start);
  EXPECT_EQ(room.absent_reason("PC-09"), "offline: could not be woken: not in the Client inventory (never "
                                         "listed by this Controller)");

  JournalRecord line = {{"targets", {{{"name", "pc-02"}, {"outcome", "done"}},
                                     {{"name", "PC-03"}, {"outcome", "failed"}, {"reason", "fell silent"}},
                                     {{"name", "PC-01"}, {"outcome", "done"}}}}};
  room.report().annotate(line);
  EXPECT_EQ(line["targets"][0]["woken"], true);
  EXPECT_EQ(line["targets"][0]["booted_after_seconds"], 45.0);
  EXPECT_EQ(line["targets"][0]["mac"], "52:54:00:4b:00:02");
  EXPECT_EQ(line["targets"][1]["booted_after_seconds"], 74.2) << "from its first packet";
  EXPECT_EQ(line["targets"][2]["woken"], false);
  EXPECT_EQ(line["targets"][2]["was_on"], true);

  core->pending().unmark({mac(2)});  // its copy ended
  EXPECT_EQ(read_pending(temp / "pending", 0, false).size(), 2u);
  room_job.reset();
  EXPECT_TRUE(read_pending(temp / "pending", 0, false).empty()) << "the job's end takes every mark";
}

// Before anything is woken, the job keeps only the PCs that will receive the
// image: the others are left out once, each with why; the copy then waits for
// those alone, and one it started without hears that it was not ready in time.
TEST_F(RoomJob, OnlyPcsThatCanReceiveTheImageAreWokenAndAwaited) {
  core->inventory().update([](std::vector<InventoryEntry>& e) {
    e[0].is_protected = true;
    return true;
  });
  CheckListModel rows;
  rows.insert_client_columns();
  for (const char* entry : {"PC-01,010.001.012.101,1,0,100000", "PC-02,010.001.012.102,1,0,100",
                            "PC-03,010.001.012.103,1,0,100000", "PC-04,010.001.012.104,1,0,100000",
                            "PC-05,010.001.012.105,1,0,100000", "PC-06,010.001.012.106,1,0,100000"})
    append_group_row(rows, parse_group_entry(entry));
  RoomPlanRequest request{.pcs = &rows,
                          .listed = {std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::string(),
                                     std::string("no disk 2: it has 1 disk(s)")},
                          .inventory = core->inventory().read().entries,
                          .image_sectors = 300 * 2048,
                          .wake = true,
                          .dry_seams = silent_wake_seams()};
  const RoomPlan plan = plan_room(request);
  std::vector<std::string> kept;
  for (const WakeWanted& w : plan.pcs) kept.push_back(w.name);
  EXPECT_EQ(kept, (std::vector<std::string>{"PC-03", "PC-05"}));
  EXPECT_EQ(plan.rows, (std::vector<int>{2, 4}));
  std::map<std::string, std::string> why;
  for (const LeftOutClient& c : plan.left_out) EXPECT_TRUE(why.emplace(c.name, c.reason).second) << c.name << " twice";
  EXPECT_EQ(why["PC-01"], kProtectedReason);
  EXPECT_EQ(why["PC-02"], "disk too small: the image needs 314.6 MB, disk 1 has 105.9 MB (as the group stores it)");
  EXPECT_EQ(why["PC-04"], "offline, and it cannot be woken: not in the Client inventory (never listed by this "
                          "Controller)");
  EXPECT_EQ(why["PC-06"], "no disk 2: it has 1 disk(s)");
  request.include_protected = true;
  request.wake = false;
  EXPECT_EQ(plan_room(request).pcs.size(), 4u) << "PC-01 included, PC-04 waited for unwoken";

  std::vector<MacAddress> sent;
  RoomStart room(*core, RoomRequest{.pcs = plan.pcs, .wake = true, .min_clients = 1, .max_wait_ms = 600'000},
                 recording(sent));
  const Tick t0 = clock.now();
  room.begin(t0);
  EXPECT_EQ(sent, std::vector<MacAddress>{mac(3)}) << "PC-05 is on; nobody left out is woken";
  EXPECT_EQ(read_pending(temp / "pending", 0, false).size(), 1u) << "nor marked (PC-05 has no known card)";
  EXPECT_EQ(room.poll(1, t0 + 65'000), RoomWait::Decision::start);
  EXPECT_EQ(room.absent_reason("PC-03"), "not ready when the copy started, 65 s after it was woken");
}

TEST_F(RoomJob, AScheduledCopyWakesItsPcsAheadAndStartsOnceEnoughHaveCome) {
  lists(1);
  core->main_client_list().rows().check(0);
  CheckListModel pcs;  // PC-01 checked, PC-02 from the loaded group, on its second disk
  pcs.insert_client_columns();
  append_group_row(pcs, parse_group_entry("PC-01,010.001.012.201,2,0,100"));
  append_group_row(pcs, parse_group_entry("PC-02,010.001.012.102,2,1,100"));
  pcs.check(0);
  std::vector<MacAddress> sent;
  const std::int64_t start = 1'800'000'000;
  Tick tick = clock.now();
  const auto at = [&](std::int64_t now) { return tick + static_cast<Tick>((now - (start - 700)) * 1000); };
  ScheduleRoom schedule(*core, {.wake = true, .wake_lead_minutes = 10, .min_clients = 2, .max_wait_seconds = 300},
                        pcs, recording(sent));
  EXPECT_EQ(schedule.step(start - 700, start, at(start - 700)), ScheduleRoom::Step::counting);
  EXPECT_TRUE(sent.empty()) << "not yet: the PCs are woken ten minutes ahead";
  EXPECT_EQ(schedule.step(start - 600, start, at(start - 600)), ScheduleRoom::Step::counting);
  EXPECT_EQ(sent, std::vector<MacAddress>{mac(2)}) << "only the PC that is off";
  EXPECT_EQ(read_pending(temp / "pending", 0, false).size(), 2u);
  lists(2);  // PC-02 boots into the Client
  EXPECT_EQ(schedule.step(start - 300, start, at(start - 300)), ScheduleRoom::Step::counting) << "ready, not yet time";
  CheckListModel& main = core->main_client_list().rows();
  EXPECT_EQ(main.check_state(1), kChecked) << "PC-02 is checked as it comes";
  EXPECT_EQ(main.cell(1, 3), "Disk 2 (100Mb)");
  EXPECT_EQ(core->tables().clients[1].selected_disk, 1);
  EXPECT_EQ(schedule.step(start, start, at(start)), ScheduleRoom::Step::start);
  EXPECT_NE(schedule.status(at(start)).find("2 of 2 PCs ready"), std::string::npos) << schedule.status(at(start));

  // Waiting from the start: PC-03 never comes; at the deadline the Copy goes to those there.
  CheckListModel three = pcs;
  append_group_row(three, parse_group_entry("PC-03,010.001.012.103,1,0,100"));
  three.check(1);
  ScheduleRoom late(*core, {.min_clients = 3, .max_wait_seconds = 120}, three, recording(sent));
  EXPECT_EQ(late.step(start, start, at(start)), ScheduleRoom::Step::waiting);
  EXPECT_NE(late.status(at(start)).find("waiting for PC-03 (2:00 left)"), std::string::npos) << late.status(at(start));
  EXPECT_EQ(late.step(start + 119, start, at(start + 119)), ScheduleRoom::Step::waiting);
  EXPECT_EQ(late.step(start + 120, start, at(start + 120)), ScheduleRoom::Step::start);
  EXPECT_EQ(sent.size(), 1u) << "nobody is woken without the choice";
  // The Copy goes to those there; PC-03 is reported left out, with why.
  CopyRequest request;
  late.fill(request);
  ASSERT_EQ(request.left_out.size(), 1u);
  EXPECT_EQ(request.left_out[0].name, "PC-03");
  EXPECT_EQ(request.left_out[0].address, Ipv4Address(10, 1, 12, 103));
  EXPECT_EQ(request.left_out[0].reason, "offline: not discovered within 120 s");
  ASSERT_TRUE(request.annotate);
  JournalRecord line = {{"targets", {{{"name", "PC-02"}, {"outcome", "done"}}}}};
  request.annotate(line);
  EXPECT_EQ(line["targets"][0]["mac"], "52:54:00:4b:00:02") << line.dump();
  EXPECT_EQ(late.give_up_text(), "None of the 3 PCs came up by the end of the wait: nothing was copied.");

  // The window's PCs: the checked Clients and the loaded group's members that were away.
  CheckListModel loaded;
  loaded.insert_client_columns();
  append_group_row(loaded, parse_group_entry("PC-01,010.001.012.201,2,0,100"));
  append_group_row(loaded, parse_group_entry("PC-03,010.001.012.103,1,0,100"));
  loaded.check(0);
  const CheckListModel chosen = schedule_room_pcs(main, &loaded);
  ASSERT_EQ(chosen.row_count(), 3);
  EXPECT_EQ(chosen.cell(0, 0), "PC-01");
  EXPECT_EQ(chosen.cell(1, 0), "PC-02");
  EXPECT_EQ(chosen.cell(2, 0), "PC-03");
  EXPECT_EQ(chosen.cell(2, 3), "Disk 1 (100Mb)");
  EXPECT_EQ(schedule_room_pcs(main, nullptr).row_count(), 2);
}

TEST_F(RoomJob, LoadGroupWithTheWakeWakesTheAbsentAndChecksThemAsTheyCome) {
  class Port final : public GroupPort {
   public:
    void show_message(const std::string& text) override { said.push_back(text); }
    bool ask_yes_no(const std::string&) override { return false; }
    std::vector<std::string> said;
  } port;
  ASSERT_EQ(GroupStore(core->profile())
                .save("Room", {{"PC-01", "010.001.012.101", 2, 0, 100},
                               {"PC-02", "010.001.012.102", 2, 1, 100},
                               {"PC-09", "010.001.012.109", 1, 0, 100}}),
            GroupStore::SaveResult::saved);
  lists(1);  // at a new address
  core->mac_learner().pass(true);
  std::vector<MacAddress> sent;
  LoadGroupDialog dialog(*core, port, recording(sent));
  CheckListModel preview;
  preview.insert_client_columns();
  dialog.select_group("Room", preview);
  dialog.set_wake(true);
  EXPECT_EQ(dialog.load(preview), LoadGroupDialog::LoadResult::loaded_waking);
  ASSERT_EQ(port.said.size(), 2u);
  EXPECT_EQ(port.said[0], "PC-01 now answers at 10.1.12.201 (the group has 10.1.12.101).");
  EXPECT_EQ(port.said[1].rfind("Not woken: PC-09 (not in the Client inventory", 0), 0u) << port.said[1];
  EXPECT_EQ(sent, std::vector<MacAddress>{mac(2)});
  std::unique_ptr<RoomWatch> watch = dialog.take_watch();
  ASSERT_NE(watch, nullptr);
  EXPECT_EQ(read_pending(temp / "pending", 0, false).size(), 2u) << "the members with known cards";

  const Tick t0 = clock.now();
  EXPECT_TRUE(watch->poll(t0).empty());
  lists(2);
  EXPECT_EQ(watch->poll(t0 + 40'000), std::vector<std::string>{"PC-02"});
  EXPECT_EQ(core->main_client_list().rows().check_state(1), kChecked);
  EXPECT_EQ(core->tables().clients[1].selected_disk, 1) << "on its stored disk";
  EXPECT_FALSE(watch->over(t0 + 40'000)) << "PC-09 is still awaited";
  EXPECT_NE(watch->status(t0 + 40'000).find("2 of 3 PCs ready; waiting for PC-09 (29:20 left)"), std::string::npos)
      << watch->status(t0 + 40'000);
  EXPECT_TRUE(watch->over(t0 + RoomWatch::kWatchMs));
  EXPECT_EQ(watch->end_text(), "2 of 3 PCs came up; not PC-09.");
  watch.reset();
  EXPECT_TRUE(read_pending(temp / "pending", 0, false).empty());

  // Without the wake the absent are listed as before, and nothing is sent.
  LoadGroupDialog plain(*core, port, recording(sent));
  plain.select_group("Room", preview);
  EXPECT_EQ(plain.load(preview), LoadGroupDialog::LoadResult::loaded_with_missing);
  EXPECT_EQ(plain.take_watch(), nullptr);
  EXPECT_EQ(sent.size(), 1u);

  // A protected Client is named in the window's question.
  const std::string question = protected_question({{.name = "PC-01", .address = Ipv4Address(10, 1, 12, 201)}});
  EXPECT_EQ(question.rfind("Protected Clients are checked: PC-01 (10.1.12.201).", 0), 0u) << question;
}

TEST_F(RoomJob, HistoryShowsEachPcAndChecksTheFailedOnesForAnotherCopy) {
  auto parse = [](const char* text) { return JournalRecord::parse(text); };
  const HistoryView view({parse(R"({"kind":"create","started":"2026-05-01T01:00:00+02:00","result":"succeeded",
                                    "image":"/srv/a.krn","targets":[{"name":"PC-01","outcome":"done"}]})"),
                          parse(R"({"kind":"copy","started":"2026-05-01T02:00:03+02:00","result":"partial",
                                    "image":"/srv/room.krn","targets":[
                                      {"name":"PC-01","address":"10.1.12.201","outcome":"done","woken":false},
                                      {"name":"PC-02","address":"10.1.12.202","outcome":"failed","reason":"fell silent",
                                       "woken":true,"booted_after_seconds":45},
                                      {"name":"PC-03","address":"10.1.12.103","outcome":"skipped",
                                       "reason":"offline: did not come up within 300 s after it was woken","woken":true}]})")});
  ASSERT_EQ(view.transfer_count(), 2);
  EXPECT_EQ(view.transfer_row(0),
            (std::vector<std::string>{"2026-05-01 02:00:03", "copy", "partial", "1 of 3 done", "/srv/room.krn"}));
  const auto rows = view.pc_rows(0);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"PC-01", "10.1.12.201", "copied", ""}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"PC-02", "10.1.12.202", "failed",
                                               "woken, booted after 45.0 s; fell silent"}));
  EXPECT_EQ(view.pc_rows(1)[0][2], "uploaded");
  EXPECT_TRUE(view.failed_clients(1).empty()) << "a Create has nobody to try again";

  // PC-02 is listed now (by name, at a new address), PC-03 not at all.
  CheckListModel& main = core->main_client_list().rows();
  main.append_client_row({"PC-01", "010.001.012.201", 1, 0, 100}, true);
  main.append_client_row({"PC-02", "010.001.012.222", 1, 0, 100}, false);
  const auto missing = check_history_clients(*core, view.failed_clients(0));
  EXPECT_EQ(main.check_state(0), kUnchecked);
  EXPECT_EQ(main.check_state(1), kChecked);
  ASSERT_EQ(missing.size(), 1u);
  EXPECT_EQ(missing[0].name, "PC-03");
}

TEST(LiveTargetRows, EachTargetsStepAsTheCopyGoesOn) {
  LiveTargetRows live;
  std::vector<TargetState> states = {{.name = "PC-01", .address = Ipv4Address(10, 0, 0, 1), .step = TargetStep::ready},
                                     {.name = "PC-09", .step = TargetStep::skipped, .reason = "offline"}};
  EXPECT_TRUE(live.update(states));
  EXPECT_FALSE(live.update(states)) << "nothing changed, nothing to redraw";
  states[0].step = TargetStep::done;
  states[0].last_heard = LastHeard{.answer = CopyAnswer::acknowledgement, .block = 40};
  EXPECT_TRUE(live.update(states));
  EXPECT_EQ(live.rows()[0], (std::vector<std::string>{"PC-01", "10.0.0.1", "copied",
                                                      "last heard: acknowledgement of block 40"}));
  EXPECT_EQ(live.rows()[1], (std::vector<std::string>{"PC-09", "", "skipped", "offline"}));
  EXPECT_EQ(live.done(), 1);
  EXPECT_EQ(live.targets(), 1);

  // Beside the Transfer dialog, on whichever side the screen has room for it.
  const PixelRect screen{0, 0, 1280, 1024};
  const auto at = [&](PixelRect dialog, int w, int h) {
    const PixelRect r = live_table_place(dialog, w, h, screen);
    return std::vector<int>{r.x, r.y};
  };
  EXPECT_EQ(at({100, 200, 400, 300}, 560, 260), (std::vector<int>{508, 200})) << "to the right";
  EXPECT_EQ(at({640, 200, 400, 300}, 560, 260), (std::vector<int>{72, 200})) << "to the left";
  EXPECT_EQ(at({300, 200, 700, 300}, 560, 260), (std::vector<int>{300, 508})) << "below";
  EXPECT_EQ(at({300, 600, 700, 300}, 560, 260), (std::vector<int>{300, 332})) << "above";
  EXPECT_EQ(at({100, 900, 400, 300}, 560, 260), (std::vector<int>{508, 764})) << "kept on the screen";
}

}  // namespace
}  // namespace kestrelon
