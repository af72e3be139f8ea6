#include "app/response_file.h"

#include "json/json_document.h"

namespace tarnvex::app {

std::string WriteValueResponse(const std::string& path, const std::string& value, int drv_pid) {
  json::TJsonObject response;
  response.SetString("value", value);
  response.SetInt("drv_pid", drv_pid);
  response.SaveToFile(path);
  return response.ToJSON();
}

void WriteStatusResponse(const std::string& path, const std::string& status,
                         const std::string& value) {
  json::TJsonObject response;
  response.SetString("status", status);
  response.SetString("value", value);
  response.SaveToFile(path);
}

}  // namespace tarnvex::app
