#include "app/head_ca_roots.h"

#include <openssl/x509.h>

#include "crypto/ossl.h"
#include "text/text.h"

namespace orvane::app {
namespace {

constexpr char kRootA[] =
    "MIIFGTCCBMigAwIBAgIQNGgeQMtB7zOpoLfIdpKaKTAIBgYqhQMCAgMwggFKMR4wHAYJKoZIhvcNAQkBFg9kaXRAbWluc3Z5YXoucnUxCzAJBgNVBA"
    "YTAlJVMRwwGgYDVQQIDBM3NyDQsy4g0JzQvtGB0LrQstCwMRUwEwYDVQQHDAzQnNC+"
    "0YHQutCy0LAxPzA9BgNVBAkMNjEyNTM3NSDQsy4g0JzQvtGB0LrQstCwLCDRg9C7LiDQotCy0LXRgNGB0LrQsNGPLCDQtC4gNzEsMCoGA1UECgwj0J"
    "zQuNC90LrQvtC80YHQstGP0LfRjCDQoNC+"
    "0YHRgdC40LgxGDAWBgUqhQNkARINMTA0NzcwMjAyNjcwMTEaMBgGCCqFAwOBAwEBEgwwMDc3MTA0NzQzNzUxQTA/"
    "BgNVBAMMONCT0L7Qu9C+0LLQvdC+0Lkg0YPQtNC+0YHRgtC+0LLQtdGA0Y/"
    "RjtGJ0LjQuSDRhtC10L3RgtGAMB4XDTEyMDcyMDEyMzExNFoXDTI3MDcxNzEyMzExNFowggFKMR4wHAYJKoZIhvcNAQkBFg9kaXRAbWluc3Z5YXouc"
    "nUxCzAJBgNVBAYTAlJVMRwwGgYDVQQIDBM3NyDQsy4g0JzQvtGB0LrQstCwMRUwEwYDVQQHDAzQnNC+"
    "0YHQutCy0LAxPzA9BgNVBAkMNjEyNTM3NSDQsy4g0JzQvtGB0LrQstCwLCDRg9C7LiDQotCy0LXRgNGB0LrQsNGPLCDQtC4gNzEsMCoGA1UECgwj0J"
    "zQuNC90LrQvtC80YHQstGP0LfRjCDQoNC+"
    "0YHRgdC40LgxGDAWBgUqhQNkARINMTA0NzcwMjAyNjcwMTEaMBgGCCqFAwOBAwEBEgwwMDc3MTA0NzQzNzUxQTA/"
    "BgNVBAMMONCT0L7Qu9C+0LLQvdC+0Lkg0YPQtNC+0YHRgtC+0LLQtdGA0Y/"
    "RjtGJ0LjQuSDRhtC10L3RgtGAMGMwHAYGKoUDAgITMBIGByqFAwICIwEGByqFAwICHgEDQwAEQI+lv3kQI8jWka1kMVdbvpvFioP0Pyn3Knmp+"
    "2XD6KgPWnXEIlSRX8g/IYracDr51YsNc2KE3C7mkH6hA3M3ofujggGCMIIBfjCBxgYFKoUDZHAEgbwwgbkMI9Cf0JDQmtCcIMKr0JrRgNC40L/"
    "RgtC+0J/"
    "RgNC+IEhTTcK7DCDQn9CQ0JogwqvQk9C+"
    "0LvQvtCy0L3QvtC5INCj0KbCuww20JfQsNC60LvRjtGH0LXQvdC40LUg4oSWIDE0OS8zLzIvMi05OTkg0L7RgiAwNS4wNy4yMDEyDDjQl9Cw0LrQu9"
    "GO0YfQtdC90LjQtSDihJYgMTQ5LzcvMS80LzItNjAzINC+0YIgMDYuMDcuMjAxMjAuBgUqhQNkbwQlDCPQn9CQ0JrQnCDCq9Ca0YDQuNC/"
    "0YLQvtCf0YDQviBIU03CuzBDBgNVHSAEPDA6MAgGBiqFA2RxATAIBgYqhQNkcQIwCAYGKoUDZHEDMAgGBiqFA2RxBDAIBgYqhQNkcQUwBgYEVR0gAD"
    "AOBgNVHQ8BAf8EBAMCAQYwDwYDVR0TAQH/BAUwAwEB/zAdBgNVHQ4EFgQUi5g7iRhR6O+cAni46sjUILJVyV0wCAYGKoUDAgIDA0EA23Reec/"
    "Y27rpMi+iFbgWCazGY3skBTq5ZGsQKOUxCe4mO7UBDACiWqdA0nvqiQMXeHgqo//fO9pxuIHtymwyMg==";

constexpr char kRootB[] =
    "MIIFFDCCBMGgAwIBAgIQTm1HiybyfWV/"
    "do4CXOPTkzAKBggqhQMHAQEDAjCCASQxHjAcBgkqhkiG9w0BCQEWD2RpdEBtaW5zdnlhei5ydTELMAkGA1UEBhMCUlUxGDAWBgNVBAgMDzc3INCc0L"
    "7RgdC60LLQsDEZMBcGA1UEBwwQ0LMuINCc0L7RgdC60LLQsDEuMCwGA1UECQwl0YPQu9C40YbQsCDQotCy0LXRgNGB0LrQsNGPLCDQtNC+"
    "0LwgNzEsMCoGA1UECgwj0JzQuNC90LrQvtC80YHQstGP0LfRjCDQoNC+"
    "0YHRgdC40LgxGDAWBgUqhQNkARINMTA0NzcwMjAyNjcwMTEaMBgGCCqFAwOBAwEBEgwwMDc3MTA0NzQzNzUxLDAqBgNVBAMMI9Cc0LjQvdC60L7QvN"
    "GB0LLRj9C30Ywg0KDQvtGB0YHQuNC4MB4XDTE4MDcwNjEyMTgwNloXDTM2MDcwMTEyMTgwNlowggEkMR4wHAYJKoZIhvcNAQkBFg9kaXRAbWluc3Z5"
    "YXoucnUxCzAJBgNVBAYTAlJVMRgwFgYDVQQIDA83NyDQnNC+0YHQutCy0LAxGTAXBgNVBAcMENCzLiDQnNC+"
    "0YHQutCy0LAxLjAsBgNVBAkMJdGD0LvQuNGG0LAg0KLQstC10YDRgdC60LDRjywg0LTQvtC8IDcxLDAqBgNVBAoMI9Cc0LjQvdC60L7QvNGB0LLRj9"
    "C30Ywg0KDQvtGB0YHQuNC4MRgwFgYFKoUDZAESDTEwNDc3MDIwMjY3MDExGjAYBggqhQMDgQMBARIMMDA3NzEwNDc0Mzc1MSwwKgYDVQQDDCPQnNC4"
    "0L3QutC+0LzRgdCy0Y/"
    "Qt9GMINCg0L7RgdGB0LjQuDBmMB8GCCqFAwcBAQEBMBMGByqFAwICIwEGCCqFAwcBAQICA0MABEB1OSpFp7milX33EP0ikge6HbZacYp9fVj8sUa5R"
    "WFXrB27SKX5SvtIGepqKev69RSYeHHKR+jT9YX2NuSK9wONo4IBwjCCAb4wgfUGBSqFA2RwBIHrMIHoDDTQn9CQ0JrQnCDCq9Ca0YDQuNC/"
    "0YLQvtCf0YDQviBIU03CuyDQstC10YDRgdC40LggMi4wDEPQn9CQ0JogwqvQk9C+"
    "0LvQvtCy0L3QvtC5INGD0LTQvtGB0YLQvtCy0LXRgNGP0Y7RidC40Lkg0YbQtdC90YLRgMK7DDXQl9Cw0LrQu9GO0YfQtdC90LjQtSDihJYgMTQ5Lz"
    "MvMi8yLzIzINC+0YIgMDIuMDMuMjAxOAw00JfQsNC60LvRjtGH0LXQvdC40LUg4oSWIDE0OS83LzYvMTA1INC+0YIgMjcuMDYuMjAxODA/"
    "BgUqhQNkbwQ2DDTQn9CQ0JrQnCDCq9Ca0YDQuNC/"
    "0YLQvtCf0YDQviBIU03CuyDQstC10YDRgdC40LggMi4wMEMGA1UdIAQ8MDowCAYGKoUDZHEBMAgGBiqFA2RxAjAIBgYqhQNkcQMwCAYGKoUDZHEEMA"
    "gGBiqFA2RxBTAGBgRVHSAAMA4GA1UdDwEB/wQEAwIBBjAPBgNVHRMBAf8EBTADAQH/"
    "MB0GA1UdDgQWBBTCVPG0a9RMt+BtNrQjkPH+wzybBjAKBggqhQMHAQEDAgNBAJr6/"
    "eI7rHL7+FsQnoH2i6DVxqalbIxLKj05edpZGPLLb6B2PTAMya7pSt9hb8QnFABgsR4IE5gT4VVkDWbX/n4=";

}  // namespace

const HeadCaRoot& HeadCaRootA() {
  static const HeadCaRoot root{kRootA, {0x8C, 0xAE, 0x88, 0xBB, 0xFD, 0x40, 0x4A, 0x7A, 0x53, 0x63,
                                        0x08, 0x64, 0xF9, 0x03, 0x36, 0x06, 0xE1, 0xDC, 0x45, 0xE2}};
  return root;
}

const HeadCaRoot& HeadCaRootB() {
  static const HeadCaRoot root{kRootB, {0x4B, 0xC6, 0xDC, 0x14, 0xD9, 0x70, 0x10, 0xC4, 0x1A, 0x26,
                                        0xE0, 0x58, 0xAD, 0x85, 0x1F, 0x81, 0xC8, 0x42, 0x41, 0x5A}};
  return root;
}

bool InstallRootCertificate(std::string_view textIn, const platform::CertStoreOpener& opener,
                            std::uint32_t& lastError) {
  lastError = 0;
  if (textIn.empty()) return false;
  // Base64 with or without PEM armour; characters outside the alphabet are skipped.
  std::string body;
  for (std::size_t pos = 0; pos < textIn.size();) {
    auto end = textIn.find('\n', pos);
    if (end == std::string_view::npos) end = textIn.size();
    const std::string_view line = textIn.substr(pos, end - pos);
    if (!line.starts_with("-----")) body += line;
    pos = end + 1;
  }
  const auto der = text::Base64Decode(body);
  if (!der || der->empty()) return false;
  const unsigned char* p = der->data();
  ossl::X509Ptr parsed(d2i_X509(nullptr, &p, static_cast<long>(der->size())));
  if (!parsed || p != der->data() + der->size()) return false;
  // Creating the machine store the first time needs the same rights as writing into it.
  auto store = opener("ROOT", platform::StoreLocation::LocalMachine, false, lastError);
  if (!store) return false;
  CertificateContext cert;
  cert.der = *der;
  return store->Add(cert, lastError);
}

bool EnsureHeadCaRoots(WizardUi& ui, const platform::CertStoreOpener& opener) {
  bool haveA = false, haveB = false;
  std::uint32_t error = 0;
  if (auto store = opener("ROOT", platform::StoreLocation::LocalMachine, true, error)) {
    haveA = store->Contains(HeadCaRootA().thumbprint);
    haveB = store->Contains(HeadCaRootB().thumbprint);
  }
  if (haveA && haveB) return true;
  if (!ui.AskYesNo(nullptr, u"Требуется установить корневой сертификат Минкомсвязи России. Продолжить?")) return false;
  bool ok = true;
  error = 0;
  if (!haveA) ok = InstallRootCertificate(HeadCaRootA().base64, opener, error);
  if (!haveB && ok) ok = InstallRootCertificate(HeadCaRootB().base64, opener, error);
  if (ok) return true;
  ui.ShowError(nullptr, std::u16string(u"Запуск программы невозможен.\n") +
                            (error == platform::kErrorAccessDenied ? u"Требуются права администратора."
                                                                   : u"Невозможно установить корневой сертификат."));
  return false;
}

}  // namespace orvane::app
