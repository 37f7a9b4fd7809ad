#include "outputs/snmp/snmp_subagent.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include <sys/socket.h>

// clang-format off: net-snmp-config.h must come first.
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/agent/net-snmp-agent-includes.h>
#include <net-snmp/agent/agent_callbacks.h>
#include <net-snmp/library/large_fd_set.h>
// clang-format on

#include <fmt/format.h>

#include "outputs/snmp/snmp_mib.h"

namespace qmr4100::gateway {
namespace {

constexpr const char* kAppName = "qmr4100-gateway";
constexpr int kSendTimeout = 1;  // seconds
const oid kSnmpTrapOid[] = {1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};
// A sub-agent needs no MIB files: without this line Net-SNMP would look for
// its default list and complain about every module the machine lacks.
constexpr const char* kNoMibFiles = "mibs :";

std::vector<oid> library_oid(const Oid& ours) { return std::vector<oid>(ours.begin(), ours.end()); }

Oid our_oid(const oid* name, std::size_t length) { return Oid(name, name + length); }

void set_value(netsnmp_variable_list* var, const SnmpValue& value) {
  switch (value.type) {
    case SnmpType::Integer: {
      const long number = static_cast<long>(value.number);
      snmp_set_var_typed_value(var, ASN_INTEGER, &number, sizeof number);
      return;
    }
    case SnmpType::Gauge:
    case SnmpType::Counter: {
      const u_long number = static_cast<u_long>(value.number);
      snmp_set_var_typed_value(var, value.type == SnmpType::Gauge ? ASN_GAUGE : ASN_COUNTER,
                               &number, sizeof number);
      return;
    }
    case SnmpType::Octets:
      snmp_set_var_typed_value(var, ASN_OCTET_STR, value.octets.data(), value.octets.size());
      return;
  }
}

void add_binding(netsnmp_variable_list** list, const VarBind& bind) {
  const std::vector<oid> name = library_oid(bind.oid);
  netsnmp_variable_list* var =
      snmp_varlist_add_variable(list, name.data(), name.size(), ASN_NULL, nullptr, 0);
  if (var) set_value(var, bind.value);
}

}  // namespace

SnmpSubagent::SnmpSubagent(const SnmpSettings& settings, TreeSource tree, Log log)
    : m_socket(settings.agentx),
      m_pingInterval(settings.ping_interval),
      m_tree(std::move(tree)),
      m_log(std::move(log)) {
  snmp_register_callback(SNMP_CALLBACK_LIBRARY, SNMP_CALLBACK_LOGGING, &SnmpSubagent::Logged,
                         this);
  snmp_enable_calllog();
  ConfigureLibrary();
  if (init_agent(kAppName) != 0) throw std::runtime_error("Net-SNMP agent library did not start");
  // After init_agent, which sets its default of 15 s.
  netsnmp_ds_set_int(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_AGENTX_PING_INTERVAL,
                     m_pingInterval);
  RegisterObjects();
  snmp_register_callback(SNMP_CALLBACK_APPLICATION, SNMPD_CALLBACK_INDEX_START,
                         &SnmpSubagent::Connected, this);
  snmp_register_callback(SNMP_CALLBACK_APPLICATION, SNMPD_CALLBACK_INDEX_STOP,
                         &SnmpSubagent::Disconnected, this);
  init_snmp(kAppName);  // connects, or schedules the next attempt
  if (!m_connected)
    m_log(fmt::format("SNMP: no AgentX master at {} yet; polling goes on, trying every {} s",
                      m_socket, m_pingInterval));
}

void SnmpSubagent::ConfigureLibrary() {
  netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_ROLE, 1);
  netsnmp_ds_set_string(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_X_SOCKET, m_socket.c_str());
  // The gateway says itself when the master comes and goes, once each time.
  netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_NO_CONNECTION_WARNINGS, 1);
  // Everything the sub-agent needs is in the gateway's own configuration.
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_PERSIST_STATE, 1);
  netsnmp_config_remember(strdup(kNoMibFiles));  // Net-SNMP frees it once read
  // Timers run from Serve on this thread: a SIGALRM could land on any thread.
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_ALARM_DONT_USE_SIG, 1);
}

void SnmpSubagent::RegisterObjects() {
  Oid objects_oid = mib::root();
  objects_oid.push_back(mib::kObjects);
  const std::vector<oid> objects = library_oid(objects_oid);
  netsnmp_handler_registration* registration = netsnmp_create_handler_registration(
      "qmr4100", &SnmpSubagent::Handle, objects.data(), objects.size(), HANDLER_CAN_RONLY);
  if (!registration) throw std::runtime_error("Net-SNMP cannot register the QMR4100-MIB");
  registration->handler->myvoid = this;
  if (netsnmp_register_handler(registration) != MIB_REGISTERED_OK)
    throw std::runtime_error("Net-SNMP cannot register the QMR4100-MIB");
}

SnmpSubagent::~SnmpSubagent() {
  // First: snmp_shutdown frees the client argument of every callback left.
  snmp_unregister_callback(SNMP_CALLBACK_APPLICATION, SNMPD_CALLBACK_INDEX_START,
                           &SnmpSubagent::Connected, this, 1);
  snmp_unregister_callback(SNMP_CALLBACK_APPLICATION, SNMPD_CALLBACK_INDEX_STOP,
                           &SnmpSubagent::Disconnected, this, 1);
  snmp_unregister_callback(SNMP_CALLBACK_LIBRARY, SNMP_CALLBACK_LOGGING, &SnmpSubagent::Logged,
                           this, 1);
  snmp_shutdown(kAppName);
}

void SnmpSubagent::Serve(int wakeup) {
  netsnmp_large_fd_set readable;
  netsnmp_large_fd_set_init(&readable, FD_SETSIZE);
  int fds = 0;
  int block = 1;  // stays 1 when no Net-SNMP timer is due: wait for a socket or the wakeup
  timeval timeout{};
  snmp_select_info2(&fds, &readable, &timeout, &block);
  NETSNMP_LARGE_FD_SET(wakeup, &readable);
  fds = std::max(fds, wakeup + 1);
  const int ready =
      netsnmp_large_fd_set_select(fds, &readable, nullptr, nullptr, block ? nullptr : &timeout);
  if (ready > 0) {
    snmp_read2(&readable);
  } else if (ready == 0) {
    snmp_timeout();
  }
  run_alarms();
  netsnmp_check_outstanding_agent_requests();
  netsnmp_large_fd_set_cleanup(&readable);
}

bool SnmpSubagent::Send(const SnmpNotification& notification) {
  if (!m_connected) return false;
  netsnmp_variable_list* list = nullptr;
  const std::vector<oid> trap = library_oid(notification.trap);
  snmp_varlist_add_variable(&list, kSnmpTrapOid, OID_LENGTH(kSnmpTrapOid), ASN_OBJECT_ID,
                            trap.data(), trap.size() * sizeof(oid));
  for (const VarBind& bind : notification.objects) add_binding(&list, bind);
  send_v2trap(list);
  snmp_free_varbind(list);
  return m_connected;
}

int SnmpSubagent::Handle(netsnmp_mib_handler* handler, netsnmp_handler_registration*,
                         netsnmp_agent_request_info* info, netsnmp_request_info* requests) {
  auto* self = static_cast<SnmpSubagent*>(handler->myvoid);
  for (netsnmp_request_info* request = requests; request; request = request->next)
    self->Answer(info->mode, info, request);
  return SNMP_ERR_NOERROR;
}

void SnmpSubagent::Answer(int mode, netsnmp_agent_request_info* info,
                          netsnmp_request_info* request) {
  netsnmp_variable_list* var = request->requestvb;
  const Oid asked = our_oid(var->name, var->name_length);
  const SnmpTree& tree = m_tree();
  if (mode == MODE_GET) {
    if (const std::optional<VarBind> found = tree.Find(asked)) {
      set_value(var, found->value);
    } else {
      netsnmp_set_request_error(info, request, SNMP_NOSUCHINSTANCE);
    }
  } else if (mode == MODE_GETNEXT) {
    // Past our last instance the binding stays unset and the agent moves on.
    if (const std::optional<VarBind> next = tree.Next(asked)) {
      const std::vector<oid> name = library_oid(next->oid);
      snmp_set_var_objid(var, name.data(), name.size());
      set_value(var, next->value);
    }
  }
}

// A master that stops reading (stopped, hung) would block Net-SNMP's write
// for good, and with it this thread. Timed out, the write fails, the ping
// goes unanswered and the session is dropped and opened anew later.
void SnmpSubagent::LimitSendTime(void* session) {
  if (!session) return;
  void* handle = snmp_sess_pointer(static_cast<netsnmp_session*>(session));
  netsnmp_transport* transport = handle ? snmp_sess_transport(handle) : nullptr;
  if (!transport || transport->sock < 0) return;
  const timeval limit{kSendTimeout, 0};
  setsockopt(transport->sock, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

int SnmpSubagent::Connected(int, int, void* session, void* client) {
  auto* self = static_cast<SnmpSubagent*>(client);
  LimitSendTime(session);
  self->m_log(fmt::format("SNMP: {} the AgentX master at {}",
                          self->m_everConnected ? "reconnected to" : "connected to",
                          self->m_socket));
  self->m_connected = true;
  self->m_everConnected = true;
  return SNMP_ERR_NOERROR;
}

int SnmpSubagent::Disconnected(int, int, void*, void* client) {
  auto* self = static_cast<SnmpSubagent*>(client);
  if (!self->m_connected) return SNMP_ERR_NOERROR;
  self->m_connected = false;
  self->m_log(fmt::format("SNMP: lost the AgentX master at {}; polling goes on, reconnecting "
                          "every {} s",
                          self->m_socket, self->m_pingInterval));
  return SNMP_ERR_NOERROR;
}

int SnmpSubagent::Logged(int, int, void* server, void* client) {
  const auto* message = static_cast<const snmp_log_message*>(server);
  // Net-SNMP's own warnings and errors; its chatter stays out of the console.
  if (message->priority > LOG_WARNING) return SNMP_ERR_NOERROR;
  std::string text = message->msg ? message->msg : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  if (!text.empty()) static_cast<SnmpSubagent*>(client)->m_log("SNMP: net-snmp: " + text);
  return SNMP_ERR_NOERROR;
}

}  // namespace qmr4100::gateway
