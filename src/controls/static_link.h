#pragma once
// A hyperlink: underlined text, blue until it has been opened once and purple
// after, with the hand cursor. Clicking opens the link (its own text when no link
// was set) with the desktop's browser or default application; when that fails it
// beeps and stays as it was. Given a picture instead of a text, it shows the
// picture uncoloured and still opens its link.
#include <functional>

#include <wx/control.h>

#include "controls/dib.h"

class CStaticLink : public wxControl {
 public:
  using Opener = std::function<bool(const wxString&)>;

  static const wxColour kUnvisited;
  static const wxColour kVisited;

  CStaticLink(wxWindow* parent, wxWindowID id, const wxString& text, const wxPoint& pos = wxDefaultPosition,
              const wxSize& size = wxDefaultSize);

  void SetLink(const wxString& link) { link_ = link; }
  const wxString& Link() const { return link_; }
  void SetPicture(const wxString& picture);
  bool Visited() const { return visited_; }
  // The colour the text is drawn in now (none for a picture link).
  wxColour TextColour() const { return visited_ ? kVisited : kUnvisited; }

  // Replaces the way links are opened and the failure beep (tests).
  void SetOpener(Opener opener) { opener_ = std::move(opener); }
  void SetBeeper(std::function<void()> beeper) { beeper_ = std::move(beeper); }

  // What a click does.
  void Follow();

 protected:
  wxSize DoGetBestSize() const override;

 private:
  void OnPaint(wxPaintEvent&);

  wxString link_;
  CDib picture_;
  bool visited_ = false;
  Opener opener_;
  std::function<void()> beeper_;
};

// Opens an address with the browser, anything else with its default application.
bool OpenWithDesktop(const wxString& target);
