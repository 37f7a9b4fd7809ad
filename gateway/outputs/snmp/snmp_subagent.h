// The Net-SNMP side of the sub-agent: the AgentX session to the master agent,
// the handler that answers from an SnmpTree, notifications, and reconnecting
// when the master goes away. Net-SNMP keeps global state and is not
// thread-safe: construct, use and destroy this on one thread, once at a time.
#pragma once

#include <functional>
#include <string>

#include "outputs/snmp/snmp_objects.h"
#include "outputs/snmp/snmp_settings.h"

// Net-SNMP's request types, whose header the rest of the gateway need not see.
struct netsnmp_mib_handler_s;
struct netsnmp_handler_registration_s;
struct netsnmp_agent_request_info_s;
struct netsnmp_request_info_s;

namespace qmr4100::gateway {

class SnmpSubagent {
 public:
  // The values to answer from, current enough for the request at hand.
  using TreeSource = std::function<const SnmpTree&()>;
  using Log = std::function<void(const std::string&)>;

  // Connects, or says once that the master is not there yet and keeps trying
  // every ping interval. Throws std::runtime_error when Net-SNMP cannot start.
  SnmpSubagent(const SnmpSettings& settings, TreeSource tree, Log log);
  ~SnmpSubagent();
  SnmpSubagent(const SnmpSubagent&) = delete;
  SnmpSubagent& operator=(const SnmpSubagent&) = delete;

  // Answers requests and runs Net-SNMP's timers (pings, reconnects) until
  // one of them was due or `wakeup` became readable.
  void Serve(int wakeup);
  // Dropped while the master is away: it would not reach anyone. False then,
  // or when the session went with this send.
  bool Send(const SnmpNotification& notification);

 private:
  void ConfigureLibrary();
  void RegisterObjects();
  static int Handle(netsnmp_mib_handler_s* handler,
                    netsnmp_handler_registration_s* registration,
                    netsnmp_agent_request_info_s* info, netsnmp_request_info_s* requests);
  static void LimitSendTime(void* session);
  static int Connected(int major, int minor, void* server, void* client);
  static int Disconnected(int major, int minor, void* server, void* client);
  static int Logged(int major, int minor, void* server, void* client);
  void Answer(int mode, netsnmp_agent_request_info_s* info, netsnmp_request_info_s* request);

  std::string m_socket;
  int m_pingInterval;
  TreeSource m_tree;
  Log m_log;
  bool m_connected = false;
  bool m_everConnected = false;
};

}  // namespace qmr4100::gateway
