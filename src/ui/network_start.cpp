#include "ui/network_start.h"

#include <vector>

#include "app/controller_core.h"
#include "commands/network_advice.h"
#include "ui/wx_user_messages.h"

NetworkStart StartNetwork(kestrelon::ControllerCore& core, WxUserMessages& messages, bool loopback_asked) {
  messages.SetAdvice(kestrelon::network_setup_advice);
  NetworkStart start;
  start.started = core.start();
  messages.SetAdvice(nullptr);
  if (!start.started) return start;
  std::vector<kestrelon::Ipv4Address> opened;
  const kestrelon::EndpointTable& endpoints = core.endpoints();
  for (int i = 0; i < endpoints.open_count(); ++i) opened.push_back(endpoints.address(i));
  start.note = kestrelon::network_note(opened, loopback_asked);
  return start;
}
