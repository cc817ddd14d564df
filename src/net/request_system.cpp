#include "net/request_system.h"

#include "config/deployment_config.h"
#include "config/version.h"
#include "io/reply_reader.h"
#include "text/text.h"

namespace orvane::net {
namespace {

// Longest reply text shown in a message box; a longer body is cut with an ellipsis.
constexpr std::size_t kMaxShownBody = 2000;

struct ErrorEntry {
  int code;
  const char16_t* text;
};

constexpr ErrorEntry kErrorTable[] = {
    {1, u"Неверная структура данных XML"},
    {2, u"Неверный СМС-код"},
    {3, u"Неверный маркер доступа"},
    {4, u"Ошибка соединения с сервером"},
    {5, u"Данные на сервере не найдены"},
    {6, u"Данные в файле не найдены"},
    {7, u"Данные в файле повреждены"},
    {8, u"Доступ запрещен"},
    {9, u"Ошибка электронной подписи"},
    {12, u"Ошибка сервера"},
    {10, u"Не указан период действия сертификата"},
    {11, u"Неверно указан период действия сертификата"},
    {0, nullptr},
};

// Wide input to a form value: UTF-8, none for empty text.
std::optional<std::string> Value(const std::u16string& s) {
  if (s.empty()) return std::nullopt;
  return text::ToUtf8(s);
}

std::u16string FillTemplate(const char16_t* pattern, int code) {
  std::u16string out(pattern);
  const auto at = out.find(u"%s");
  if (at != std::u16string::npos) out.replace(at, 2, RequestErrorText(code).value_or(u""));
  return out;
}

// Status tables: 200 -> 0, then the operation's codes for 403 and 404, 12 otherwise.
int MapStatus(int status, int on403, int on404) {
  if (status == 200) return kErrNone;
  if (status == 403) return on403;
  if (status == 404) return on404;
  return kErrServer;
}

bool HasBody(const HttpReply& r) {
  return r.body && r.body->Length() > 0;
}

std::u16string BodyText(ASVariableBuffer& body) {
  body.SetReadPosition(0);
  std::string bytes(static_cast<std::size_t>(std::min<std::int64_t>(body.Length(), kMaxShownBody)), '\0');
  const std::int64_t n = bytes.empty() ? 0 : body.Read(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  if (body.Length() > static_cast<std::int64_t>(kMaxShownBody)) {
    // Do not end inside a UTF-8 sequence.
    while (!bytes.empty() && (static_cast<unsigned char>(bytes.back()) & 0xC0) == 0x80) bytes.pop_back();
    if (!bytes.empty() && static_cast<unsigned char>(bytes.back()) >= 0xC0) bytes.pop_back();
    return text::FromUtf8(bytes) + u"…";
  }
  return text::FromUtf8(bytes);
}

}  // namespace

std::optional<std::u16string> RequestErrorText(int code) {
  for (const ErrorEntry* e = kErrorTable; e->code != 0; ++e) {
    if (e->code == code) return std::u16string(e->text);
  }
  return std::nullopt;
}

bool VersionAccepted(std::string_view own, std::string_view server) {
  auto split = [](std::string_view v) -> std::pair<unsigned long, unsigned long> {
    const auto dot = v.find('.');
    if (dot == std::string_view::npos) return {0, 0};
    return {io::LeadingNumber(v.substr(0, dot)), io::LeadingNumber(v.substr(dot + 1))};
  };
  const auto [ownMajor, ownMinor] = split(own);
  const auto [serverMajor, serverMinor] = split(server);
  if (ownMajor != serverMajor) return ownMajor > serverMajor;
  return ownMinor >= serverMinor;
}

RequestSystem::RequestSystem(WizardUi& ui, std::string host, std::uint16_t port,
                             std::shared_ptr<platform::ProxyResolver> resolver, std::string extraCaFile)
    : ui_(ui),
      host_(std::move(host)),
      port_(port),
      resolver_(std::move(resolver)),
      extraCaFile_(std::move(extraCaFile)) {}

RequestSystem::RequestSystem(WizardUi& ui, const config::DeploymentConfig& deployment)
    : RequestSystem(ui, deployment.requestHost, deployment.requestPort, nullptr, deployment.extraCaFile) {}

RequestSystem::Exchange RequestSystem::Send(const char16_t* path, const FormFields* form, bool get,
                                            bool waitCursor) const {
  Exchange ex;
  std::optional<WaitCursor> cursor;
  if (waitCursor) cursor.emplace(ui_);
  HttpClient client(resolver_, extraCaFile_);
  if (!client.Connect(text::FromUtf8(host_), port_)) return ex;
  ex.connected = true;
  ex.reply = get ? client.Get(path) : client.PostForm(path, form);
  ex.autoEnroll = client.HasAutoEnrollHeader();
  client.CloseRequest();
  return ex;
}

void RequestSystem::Fail(WindowHandle owner, const Exchange& ex, const char16_t* messageTemplate, int code) {
  if (HasBody(ex.reply)) {
    ui_.ShowError(owner, BodyText(*ex.reply.body));
  } else {
    ui_.ShowError(owner, FillTemplate(messageTemplate, code));
  }
}

VersionCheckResult RequestSystem::CheckVersion() {
  VersionCheckResult result;
  Exchange ex = Send(u"/a/get_version", nullptr, true, false);
  if (!ex.connected || ex.reply.status != 200 || !ex.reply.body) return result;
  std::optional<std::string> version;
  const bool parsed = ReadReplyDocument(*ex.reply.body, {"version"}, [&](const std::string&, ASVariableBuffer& t) {
    version = t.ReadAllText().value_or(std::string());
  });
  if (!parsed || !version) return result;
  // Blanks around the text are no part of the version; a text that still does not start
  // with a digit is no version at all, and the gate never opens on one.
  const std::string trimmed = text::TrimSpaces(*version);
  if (trimmed.empty() || trimmed.front() < '0' || trimmed.front() > '9') return result;
  result.received = true;
  result.version = text::FromUtf8(trimmed);
  result.accepted = VersionAccepted(config::kProgramVersion, trimmed);
  if (!result.accepted) {
    ui_.ShowError(nullptr, u"Запуск программы невозможен.\nСкачайте новую версию с сайта УЦ Talvik.");
  }
  return result;
}

std::shared_ptr<request::remoteRequestData> RequestSystem::GetRequestData(WindowHandle owner,
                                                                          const std::u16string& token,
                                                                          const OperatorIdentity* op,
                                                                          int& lastRequestError) {
  static constexpr char16_t kMessage[] = u"Не удалось получить данные из системы заявок:\n%s";
  FormFields form;
  AddField(form, "marker", Value(token));
  if (op != nullptr) {
    AddField(form, "hash", op->thumbprint);
    if (op->authToken) AddField(form, "authtoken", *op->authToken);
  }
  Exchange ex = Send(u"/a/get_subject", &form, false, true);
  lastRequestError = ex.connected ? MapStatus(ex.reply.status, kErrBadToken, kErrServerDataMissing) : kErrConnection;
  if (lastRequestError != kErrNone) {
    Fail(owner, ex, kMessage, lastRequestError);
    return nullptr;
  }
  std::shared_ptr<request::remoteRequestData> record;
  if (ex.reply.body) record = request::ReadRequestData(*ex.reply.body);
  if (!record) {
    lastRequestError = kErrBadXml;
  } else if (!record->HasRequiredFields()) {
    lastRequestError = kErrFileDataMissing;
  } else if (!record->DigestMatches()) {
    lastRequestError = kErrFileDataDamaged;
  }
  if (lastRequestError != kErrNone) {
    ui_.ShowError(owner, FillTemplate(kMessage, lastRequestError));
    return nullptr;
  }
  return record;
}

bool RequestSystem::RequestSmsCode(WindowHandle owner, const std::u16string& token) {
  FormFields form;
  AddField(form, "marker", Value(token));
  Exchange ex = Send(u"/a/get_pincode", &form, false, true);
  const int code = ex.connected ? MapStatus(ex.reply.status, kErrBadToken, kErrServerDataMissing) : kErrConnection;
  if (code == kErrNone) return true;
  // The reply body is never shown here.
  ui_.ShowError(owner, FillTemplate(u"Запрос СМС-кода завершился с ошибкой:\n%s", code));
  return false;
}

SubmitResult RequestSystem::SubmitRequest(WindowHandle owner, const std::optional<std::u16string>& smsCode,
                                          const std::u16string& token, const PendingRequest* pending,
                                          const OperatorIdentity* op) {
  static constexpr char16_t kMessage[] = u"Подписание бланка запроса завершилось с ошибкой:\n%s";
  SubmitResult result;
  if (pending == nullptr || !pending->der) {
    ui_.ShowError(owner, FillTemplate(kMessage, kErrServer));
    return result;
  }
  pending->der->SetReadPosition(0);
  const auto der = pending->der->ReadAll();
  if (!der) {
    ui_.ShowError(owner, FillTemplate(kMessage, kErrServer));
    return result;
  }
  std::optional<std::string> requestSigned;
  if (op != nullptr) {
    if (op->signMessage) requestSigned = op->signMessage(*der);
    if (!requestSigned) {
      ui_.ShowError(owner, FillTemplate(kMessage, kErrSignature));
      return result;
    }
  }
  FormFields form;
  if (smsCode) AddField(form, "code", Value(*smsCode));
  AddField(form, "marker", Value(token));
  AddField(form, "key_type", Value(pending->carrierModel));
  AddField(form, "key_serial", Value(pending->carrierSerial));
  AddField(form, "container", Value(pending->container));
  AddField(form, "request", text::Base64Encode(*der));
  if (pending->tokenTypeName) AddField(form, "token_type", *pending->tokenTypeName);
  if (op != nullptr) {
    AddField(form, "hash", op->thumbprint);
    AddField(form, "request_signed", requestSigned);
    if (op->authToken) AddField(form, "authtoken", *op->authToken);
  }
  Exchange ex = Send(u"/a/set_request", &form, false, true);
  const int code = ex.connected ? MapStatus(ex.reply.status, kErrAccessDenied, kErrServer) : kErrConnection;
  if (code != kErrNone) {
    Fail(owner, ex, kMessage, code);
    return result;
  }
  result.ok = true;
  result.autoEnroll = ex.autoEnroll;
  return result;
}

int RequestSystem::CheckAutoEnroll(const std::optional<std::u16string>& token) const {
  if (!token) return 403;
  FormFields form;
  AddField(form, "marker", Value(*token));
  const Exchange ex = Send(u"/a/check-autoenroll", &form, false, false);
  if (!ex.connected) return 404;
  return ex.reply.status;
}

std::unique_ptr<CertificateReply> RequestSystem::GetCertificate(WindowHandle owner, const std::u16string& token,
                                                                const OperatorIdentity* op) {
  static constexpr char16_t kMessage[] = u"Не удалось получить данные из системы заявок:\n%s";
  FormFields form;
  AddField(form, "marker", Value(token));
  if (op != nullptr) {
    AddField(form, "hash", op->thumbprint);
    if (op->authToken) AddField(form, "authtoken", *op->authToken);
  }
  Exchange ex = Send(u"/a/get_certificate", &form, false, false);
  int code = ex.connected ? MapStatus(ex.reply.status, kErrAccessDenied, kErrServerDataMissing) : kErrConnection;
  if (code != kErrNone) {
    Fail(owner, ex, kMessage, code);
    return nullptr;
  }
  auto reply = std::make_unique<CertificateReply>();
  bool haveCert = false;
  const bool parsed = ex.reply.body && ReadReplyDocument(*ex.reply.body,
                                                         {"container", "cert", "license", "cert_pdf_file_uuid",
                                                          "sign_cert_link", "cert_pdf_signed", "signer_name"},
                                                         [&](const std::string& name, ASVariableBuffer& t) {
                                                           const std::string v =
                                                               t.ReadAllText().value_or(std::string());
                                                           if (name == "cert") {
                                                             reply->cert = v;
                                                             reply->certLength = static_cast<std::int32_t>(v.size());
                                                             haveCert = true;
                                                           } else if (name == "container") {
                                                             reply->container = text::FromUtf8(v);
                                                           } else if (name == "license") {
                                                             reply->license = io::IsTruthy(v);
                                                           } else if (name == "cert_pdf_file_uuid") {
                                                             reply->certPdfFileUuid = text::FromUtf8(v);
                                                           } else if (name == "sign_cert_link") {
                                                             reply->signCertLink = text::FromUtf8(v);
                                                           } else if (name == "cert_pdf_signed") {
                                                             reply->certPdfSigned = io::IsTruthy(v);
                                                           } else if (name == "signer_name") {
                                                             reply->signerName = text::FromUtf8(v);
                                                           }
                                                         });
  if (!parsed || !haveCert || !reply->container) {
    ui_.ShowError(owner, FillTemplate(kMessage, kErrBadXml));
    return nullptr;
  }
  return reply;
}

bool RequestSystem::ConfirmCertificate(WindowHandle owner, const std::u16string& token, const std::u16string& smsCode) {
  FormFields form;
  AddField(form, "marker", Value(token));
  AddField(form, "code", Value(smsCode));
  Exchange ex = Send(u"/a/set_certificate", &form, false, true);
  const int code = ex.connected ? MapStatus(ex.reply.status, kErrBadSmsCode, kErrServerDataMissing) : kErrConnection;
  if (code == kErrNone) return true;
  Fail(owner, ex, u"Подписание бланка сертификата завершилось с ошибкой:\n%s", code);
  return false;
}

std::unique_ptr<DocumentHashReply> RequestSystem::GetDocumentHash(WindowHandle owner, const OperatorIdentity* op,
                                                                  const std::u16string& token) {
  static constexpr char16_t kMessage[] = u"Получение хэша документа завершилось с ошибкой:\n%s";
  if (op == nullptr || token.empty() || !op->authToken) return nullptr;
  FormFields form;
  AddField(form, "hash", op->thumbprint);
  AddField(form, "marker", Value(token));
  AddField(form, "document_type", "cert");
  AddField(form, "auth_uuid", *op->authToken);
  Exchange ex = Send(u"/a/get_document_hash", &form, false, true);
  const int code = ex.connected ? MapStatus(ex.reply.status, kErrAccessDenied, kErrServerDataMissing) : kErrConnection;
  if (code != kErrNone) {
    Fail(owner, ex, kMessage, code);
    return nullptr;
  }
  if (!HasBody(ex.reply)) {
    ui_.ShowError(owner, FillTemplate(kMessage, kErrBadXml));
    return nullptr;
  }
  auto reply = std::make_unique<DocumentHashReply>();
  const bool parsed = ReadReplyDocument(*ex.reply.body, {"b64Hash", "pdf_file_uuid", "token"},
                                        [&](const std::string& name, ASVariableBuffer& t) {
                                          auto v = t.ReadAllText();
                                          if (name == "b64Hash") reply->b64Hash = v;
                                          if (name == "pdf_file_uuid") reply->pdfFileUuid = v;
                                          if (name == "token") reply->token = v;
                                        });
  if (!parsed) {
    ui_.ShowError(owner, BodyText(*ex.reply.body));
    return nullptr;
  }
  return reply;
}

bool RequestSystem::SetDocumentSign(WindowHandle owner, const OperatorIdentity* op, const std::u16string& token,
                                    const DocumentHashReply* hash, const std::optional<std::string>& signature) {
  if (op == nullptr || token.empty() || !op->authToken || hash == nullptr || !hash->pdfFileUuid || !hash->token ||
      !signature) {
    return false;
  }
  FormFields form;
  AddField(form, "hash", op->thumbprint);
  AddField(form, "marker", Value(token));
  AddField(form, "document_type", "cert");
  AddField(form, "auth_uuid", *op->authToken);
  AddField(form, "pdf_file_uuid", *hash->pdfFileUuid);
  AddField(form, "token", *hash->token);
  AddField(form, "signature", *signature);
  Exchange ex = Send(u"/a/set_document_sign", &form, false, true);
  const int code = ex.connected ? MapStatus(ex.reply.status, kErrAccessDenied, kErrServerDataMissing) : kErrConnection;
  if (code == kErrNone) return true;
  Fail(owner, ex, u"Подписание документа завершилось с ошибкой:\n%s", code);
  return false;
}

bool RequestSystem::KillMarker(const std::u16string& token) {
  FormFields form;
  AddField(form, "marker", Value(token));
  const Exchange ex = Send(u"/a/kill_marker", &form, false, false);
  return ex.connected && ex.reply.status == 200;
}

std::optional<CertVerifyFlags> RequestSystem::CertVerify(WindowHandle owner, const std::string& thumbprint,
                                                         const std::optional<std::string>& loginToken) {
  static constexpr char16_t kMessage[] = u"Проверка сертификата завершилась с ошибкой:\n%s";
  FormFields form;
  AddField(form, "hash", thumbprint);
  if (loginToken) AddField(form, "authtoken", *loginToken);
  Exchange ex = Send(u"/a/cert_verify", &form, false, true);
  const int code = ex.connected ? MapStatus(ex.reply.status, kErrAccessDenied, kErrServerDataMissing) : kErrConnection;
  if (code != kErrNone) {
    Fail(owner, ex, kMessage, code);
    return std::nullopt;
  }
  if (!HasBody(ex.reply)) {
    ui_.ShowError(owner, FillTemplate(kMessage, kErrNone));  // no code applies: an empty reason
    return std::nullopt;
  }
  CertVerifyFlags flags;
  const bool parsed = ReadReplyDocument(*ex.reply.body, {"agentMode", "agentLicense", "clientAllowed"},
                                        [&](const std::string& name, ASVariableBuffer& t) {
                                          const bool v = io::IsTruthy(t.ReadAllText().value_or(std::string()));
                                          if (name == "agentMode") flags.agentMode = v;
                                          if (name == "agentLicense") flags.agentLicense = v;
                                          if (name == "clientAllowed") flags.clientAllowed = v;
                                        });
  if (!parsed) {
    ui_.ShowError(owner, BodyText(*ex.reply.body));
    return std::nullopt;
  }
  return flags;
}

}  // namespace orvane::net
