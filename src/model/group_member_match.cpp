#include "model/group_member_match.h"

#include "model/client_name.h"

namespace kestrelon {

namespace {

class Matcher {
 public:
  Matcher(const std::vector<MatchCandidate>& listed, const std::vector<MatchCandidate>& members)
      : listed_(listed), members_(members), result_(members.size()), moved_here_(listed.size(), false) {}

  std::vector<MemberMatch> run() {
    for (std::size_t j = 0; j < members_.size(); ++j) {
      const MatchCandidate& m = members_[j];
      int row = by_mac(m);
      MatchedBy by = MatchedBy::mac;
      if (row < 0) {
        row = by_name(m);
        by = MatchedBy::name;
      }
      if (row < 0) continue;
      MemberMatch& r = result_[j];
      r.by = by;
      r.rows = rows_at(listed_[static_cast<std::size_t>(row)].address);
      r.moved = listed_[static_cast<std::size_t>(row)].address != m.address;
      if (r.moved)
        for (int i : r.rows) moved_here_[static_cast<std::size_t>(i)] = true;
    }
    // The stored address last: a Client found there by name or MAC address
    // elsewhere is not this member, whatever the address says.
    for (std::size_t j = 0; j < members_.size(); ++j) {
      if (result_[j].found()) continue;
      const MatchCandidate& m = members_[j];
      MemberMatch& r = result_[j];
      for (int i : rows_at(m.address)) {
        const MatchCandidate& l = listed_[static_cast<std::size_t>(i)];
        if (moved_here_[static_cast<std::size_t>(i)] || (l.mac && m.mac && *l.mac != *m.mac)) continue;
        r.rows.push_back(i);
      }
      if (r.found()) r.by = MatchedBy::address;
    }
    return result_;
  }

 private:
  std::vector<int> rows_at(const std::string& address) const {
    std::vector<int> rows;
    for (std::size_t i = 0; i < listed_.size(); ++i)
      if (listed_[i].address == address) rows.push_back(static_cast<int>(i));
    return rows;
  }

  int by_mac(const MatchCandidate& m) const {
    if (!m.mac) return -1;
    int only = -1, named = -1, count = 0, named_count = 0;
    for (std::size_t i = 0; i < listed_.size(); ++i) {
      if (listed_[i].mac != m.mac) continue;
      ++count;
      only = static_cast<int>(i);
      if (same_client_name(listed_[i].name, m.name)) {
        ++named_count;
        named = static_cast<int>(i);
      }
    }
    if (count == 1) return only;
    return named_count == 1 ? named : -1;
  }

  // Two Clients of one name: neither is known to be the member.
  int by_name(const MatchCandidate& m) const {
    int found = -1;
    for (std::size_t i = 0; i < listed_.size(); ++i) {
      if (!same_client_name(listed_[i].name, m.name)) continue;
      if (found >= 0) return -1;
      found = static_cast<int>(i);
    }
    return found;
  }

  const std::vector<MatchCandidate>& listed_;
  const std::vector<MatchCandidate>& members_;
  std::vector<MemberMatch> result_;
  std::vector<bool> moved_here_;  // rows a member has moved to
};

}  // namespace

std::vector<MemberMatch> match_group_members(const std::vector<MatchCandidate>& listed,
                                             const std::vector<MatchCandidate>& members) {
  return Matcher(listed, members).run();
}

}  // namespace kestrelon
