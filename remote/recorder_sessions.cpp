// Logging in to a recorder and out again. The library keeps no record of
// logins: the handle goes to the caller, who hands it back.
#include <array>
#include <cstdint>

#include "backends/backend_verdicts.h"
#include "backends/network.h"
#include "qxplaysdk.h"

extern "C" {

OVRA_API int32_t OVRA_CALL Ovra_DVR_Login(int32_t* login, const char* address,
                                          uint32_t recorder_port, const char* user_name,
                                          const char* password) {
  if (login == nullptr || address == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  // Fresh for every login; what the network library writes into it is not
  // read back.
  std::array<uint8_t, NET_LOGIN_INFO_SIZE> login_info{};
  net_init();
  // A network port is 16 bits wide; the rest of the caller's word carries
  // nothing.
  const auto port16 = static_cast<uint16_t>(recorder_port & 0xFFFFU);
  const int32_t handle = net_login(address, port16, user_name, password, login_info.data());
  *login = handle;
  return qx::NetLoginSucceeded(handle) ? OVRA_OK : OVRA_NETSDK_ERROR;
}

OVRA_API int32_t OVRA_CALL Ovra_DVR_Logout(int32_t login) {
  if (login < 1) {
    return OVRA_NETSDK_ERROR;
  }
  net_logout(login);
  // Every login initialised the network library, so every logout cleans it
  // up again.
  return qx::NetSucceeded(net_cleanup()) ? OVRA_OK : OVRA_NETSDK_ERROR;
}

}  // extern "C"
