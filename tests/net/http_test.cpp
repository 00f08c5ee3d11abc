// The HTTP client: text functions, request texts, and whole requests against
// Python's http.server and a plain socket server that answers slowly or badly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include "net/emod_connect.h"
#include "net/emod_http.h"
#include "tests/net/net_support.h"
#include "tests/support/harness.h"

namespace {

std::string Script() { return std::string(ZARN_SOURCE_DIR) + "/tests/net/http_peer.py"; }

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string HexOf(const std::string& bytes) {
  static const char* d = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += d[c >> 4];
    out += d[c & 15];
  }
  return out;
}

bool WaitForFile(const std::string& path, int ms = 60000) {
  const uint32_t start = nt::NowMs();
  while (nt::NowMs() - start < static_cast<uint32_t>(ms)) {
    if (std::ifstream(path).good()) return true;
    usleep(10000);
  }
  return false;
}

// Collects a response the way an application would.
struct Client : ENetOwner {
  ClassEConnect c;
  EHTTPStack stack;
  bool closed = false, requested = false;
  std::string request;
  explicit Client(uint32_t size = 65536) {
    stack.Alloc(size);
    c.Init(ENET_TCPIP, this);
  }
  void OnNetMessage(uint8_t, int32_t, int32_t event, int32_t length, uint8_t* data) override {
    if (event == ENET_REQUEST) {
      requested = true;
      request.assign(reinterpret_cast<char*>(data), static_cast<size_t>(length));
    }
    if (event == ENET_DATA) stack.Push(data, static_cast<uint32_t>(length));
    if (event == ENET_CLOSED) closed = true;
  }
  bool Wait(int ms = 60000) { return nt::PollUntil({&c}, [&] { return closed; }, ms); }
  std::string Body() const {
    std::string b(stack.BodySize(), '\0');
    uint32_t n = static_cast<uint32_t>(b.size());
    if (!stack.GetBody(&b[0], n)) return "<none>";
    b.resize(n);
    return b;
  }
};

TEST(Http, TextFunctions) {
  char out[256];
  struct Pair {
    const char* in;
    const char* out;
  };
  for (const Pair& p : {Pair{"a b&c", "a+b%26c"}, Pair{"~x-y_z.!*'()", "~x-y_z.!*'()"},
                        Pair{"\xff/=?", "%FF%2F%3D%3F"}, Pair{"", ""}}) {
    ClassEConnect::UrlEncode(out, p.in);
    EXPECT_STREQ(out, p.out) << p.in;
  }
  for (const Pair& p : {Pair{"a+b%26c", "a b&c"}, Pair{"%7e%7E", "~~"}, Pair{"100%", "100%"},
                        Pair{"%zz%4", "%zz%4"}}) {
    ClassEConnect::UrlDecode(out, p.in);
    EXPECT_STREQ(out, p.out) << p.in;
  }
  for (const Pair& p : {Pair{"user:pass", "dXNlcjpwYXNz"}, Pair{"a", "YQ=="}, Pair{"ab", "YWI="},
                        Pair{"abc", "YWJj"}, Pair{"", ""}}) {
    ClassEConnect::Base64Encode(out, p.in);
    EXPECT_STREQ(out, p.out) << p.in;
    ClassEConnect::Base64Decode(out, p.out);
    EXPECT_STREQ(out, p.in) << p.out;
  }
  ClassEConnect::Base64Decode(out, "YWJj*YWJj");
  EXPECT_STREQ(out, "abc");
  struct Split {
    const char* url;
    const char* host;
    const char* path;
  };
  for (const Split& s : {Split{"http://a.b/c/d", "a.b", "/c/d"}, Split{"HtTp://a.b", "a.b", "/"},
                         Split{"a.b:81/x", "a.b:81", "/x"}, Split{"ftp://a/b", "ftp:", "//a/b"}}) {
    char host[64], path[64];
    ClassEConnect::SplitURL(s.url, host, path, 63);
    EXPECT_STREQ(host, s.host) << s.url;
    EXPECT_STREQ(path, s.path) << s.url;
  }
  for (const Pair& p : {Pair{"a.png", "image/png"}, Pair{"report.TXT", "application/octet-stream"},
                        Pair{"x.cc", "text/plain"}, Pair{"song.midi", "audio/midi"},
                        Pair{"tar.gz", "application/x-gzip"}, Pair{"noext", "application/octet-stream"},
                        Pair{"a.jpeg", "image/jpeg"}, Pair{"pic.jpg.zip", "application/zip"}}) {
    EHTTPRequest::GetMimeType(out, p.in);
    EXPECT_STREQ(out, p.out) << p.in;
  }
  EHTTPRequest::GetMimeType(out, static_cast<const char*>(nullptr));
  EXPECT_STREQ(out, "application/octet-stream");
  ClassEConnect::GenerateBoundary(out, 40);
  EXPECT_EQ(std::strlen(out), 40u);
  EXPECT_EQ(std::string(out, 20), std::string(20, '-'));
  EXPECT_NE(out[39], '-');
}

TEST(Http, UrlsAndRequestTexts) {
  EHTTPRequest r("http://example.host:8080/a/b?x=1&y=a%20b");
  EXPECT_STREQ(r.host, "example.host");
  EXPECT_EQ(r.port, 8080u);
  EXPECT_STREQ(r.path, "/a/b");
  ASSERT_EQ(r.Count(), 2u);
  EXPECT_STREQ(r.Name(1), "y");
  EXPECT_STREQ(reinterpret_cast<const char*>(r.Value(1)), "a b");
  EXPECT_EQ(r.ValueLength(1), 4u);  // with its terminating zero
  EHTTPRequest bare("example.host");
  EXPECT_STREQ(bare.path, "/");
  EXPECT_EQ(bare.port, 80u);
  EHTTPRequest zero("h:0/p");
  EXPECT_EQ(zero.port, 80u);
  const std::string longUrl = "http://h/" + std::string(800, 'a') + "?x=1";
  EHTTPRequest tooLong(longUrl.c_str());
  EXPECT_STREQ(tooLong.host, "");
  EXPECT_EQ(tooLong.Count(), 0u);

  r.AddParam("n", -42);
  r.AddData("f", "xyz", 3);  // file parts never go into a query or form
  std::strcpy(r.user, "user");
  std::strcpy(r.password, "pass");
  std::strcpy(r.referer, "http://ref/");
  r.connection = 2;
  r.acceptgzip = 1;
  std::string get, post;
  r.BuildGet(get);
  EXPECT_EQ(get,
            "GET /a/b?x=1&y=a+b&n=-42 HTTP/1.0\r\nHost: example.host\r\nConnection: close\r\n"
            "Accept: */*\r\nUser-Agent: Zarn/2.96 (GP2X F-100)\r\nReferer: http://ref/\r\n"
            "Authorization: Basic dXNlcjpwYXNz\r\nAccept-Encoding: gzip\r\n\r\n");
  r.connection = 1;
  r.acceptgzip = 0;
  r.user[0] = 0;
  r.referer[0] = 0;
  r.BuildPost(post);
  EXPECT_EQ(post,
            "POST /a/b HTTP/1.0\r\nHost: example.host\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 15\r\n"
            "Connection: Keep-Alive\r\nAccept: */*\r\nUser-Agent: Zarn/2.96 (GP2X F-100)\r\n\r\n"
            "x=1&y=a+b&n=-42");
  EXPECT_EQ(post.size() - post.find("\r\n\r\n") - 4, 15u);
}

TEST(Http, ResponseHeaderAcrossPushes) {
  const std::string response =
      "HTTP/1.1 301 Moved\r\ndate: Thu, 01 Jan 1970 00:00:00 GMT\r\nX-Update: never\r\n"
      "Location: http://there/\r\nContent-Type: text/html\r\nCONTENT-LENGTH: 4\r\n"
      "Content-Encoding: x-gzip\r\n\r\nbody";
  const size_t headerLength = response.find("\r\n\r\n") + 4;
  // Every split into two pushes, and byte by byte.
  for (size_t cut = 0; cut <= response.size(); cut++) {
    EHTTPStack s;
    ASSERT_EQ(s.Alloc(1024), 1);
    ASSERT_EQ(s.Push(response.data(), static_cast<uint32_t>(cut)), 1);
    ASSERT_EQ(s.Push(response.data() + cut, static_cast<uint32_t>(response.size() - cut)), 1);
    ASSERT_EQ(s.HeaderLength(), headerLength) << cut;
    EHTTPRESPONSE_INFO info;
    ASSERT_EQ(s.GetResponseInfo(&info), 1);
    EXPECT_EQ(info.status, 301);
    EXPECT_EQ(info.contentlength, 4u);
    EXPECT_STREQ(info.date, "Thu, 01 Jan 1970 00:00:00 GMT");
    EXPECT_STREQ(info.location, "http://there/");
    EXPECT_STREQ(info.contenttype, "text/html");
    EXPECT_TRUE(s.Gzip());
    EXPECT_EQ(s.Result(false), EHTTP_DONE);
  }
  EHTTPStack s;
  ASSERT_EQ(s.Alloc(1024), 1);
  for (char c : response) ASSERT_EQ(s.Push(&c, 1), 1);
  EXPECT_EQ(s.HeaderLength(), headerLength);
  char text[512];
  ASSERT_EQ(s.GetResponseInfo(text, sizeof text), 1);
  EXPECT_EQ(std::string(text), response.substr(0, headerLength - 4) + "\r\n");
  EXPECT_EQ(s.GetResponseInfo(text, 10), 0);
  char small[2];
  uint32_t n = 2;
  EXPECT_EQ(s.GetBody(small, n), 0);  // too small a buffer
  // Nothing before the header; a full storage refuses all of a push.
  EHTTPStack t;
  EXPECT_EQ(t.Push("x", 1), 0);
  ASSERT_EQ(t.Alloc(8), 1);
  EXPECT_EQ(t.Push("HTTP/1.0 2", 10), 0);
  EXPECT_EQ(t.Result(false), EHTTP_FULL);
  EXPECT_EQ(t.BodySize(), 0u);
}

// The body is exactly the Content-Length bytes after the header; a header whose
// lengths disagree (two fields, or a list in one) hands out none.
TEST(Http, BodyIsTheAnnouncedLength) {
  const std::string body = "0123456789" + std::string(30, 'x');
  struct Case {
    const char* lengths;  // the Content-Length lines
    int result;
    uint32_t size;        // of the body handed out
  } cases[] = {
      {"Content-Length: 10\r\n", EHTTP_DONE, 10},
      {"Content-Length: 0\r\n", EHTTP_DONE, 0},
      {"Content-Length: 40\r\n", EHTTP_DONE, 40},
      {"Content-Length: 10\r\ncontent-length:10\r\n", EHTTP_DONE, 10},
      {"Content-Length: 10, 10\r\n", EHTTP_DONE, 10},
      {"Content-Length: 10\r\nContent-Length: 40\r\n", EHTTP_MALFORMED, 0},
      {"Content-Length: 40\r\nContent-Length: 10\r\n", EHTTP_MALFORMED, 0},
      {"Content-Length: 10,40\r\n", EHTTP_MALFORMED, 0},
  };
  for (const Case& k : cases) {
    const std::string response = std::string("HTTP/1.0 200 OK\r\n") + k.lengths + "\r\n" + body;
    for (size_t piece : {response.size(), size_t{1}}) {  // whole, and byte by byte
      SCOPED_TRACE(std::string(k.lengths) + " in pieces of " + std::to_string(piece));
      EHTTPStack s;
      ASSERT_EQ(s.Alloc(1024), 1);
      for (size_t at = 0; at < response.size(); at += piece)
        ASSERT_EQ(s.Push(response.data() + at, static_cast<uint32_t>(std::min(piece, response.size() - at))), 1);
      EXPECT_EQ(s.Result(false), k.result);
      EXPECT_EQ(s.Result(true), k.result);
      EXPECT_EQ(s.BodySize(), k.size);
      char out[64];
      uint32_t n = sizeof out;
      ASSERT_EQ(s.GetBody(out, n), 1);
      EXPECT_EQ(std::string(out, n), body.substr(0, k.size));
    }
  }
}

TEST(Http, AgainstPythonHttpServer) {
  if (!nt::HavePython()) GTEST_SKIP() << "python3 missing";
  const uint16_t port = nt::TestPort(10);
  const std::string dir = zt::TempDir("http_server");
  nt::Child server(Script() + " serve " + std::to_string(port) + " " + dir + "/ready " + dir + " 3");
  ASSERT_TRUE(WaitForFile(dir + "/ready"));

  const std::string file = dir + "/upload.png";
  {
    std::ofstream f(file, std::ios::binary);
    f << std::string("\x89PNG\r\n\x1a\n\0\xff--\r\n--", 16);
  }
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/q/r?a=1&b=x%26y";
  struct Case {
    int kind;  // 0 GET, 1 form POST, 2 multipart POST
    std::string expect;
  };
  const std::string nul = "00";
  std::vector<Case> cases = {
      {0, "a|||31\nb|||782679\nsp|||6120622b\n"},
      {1, "a|||31\nb|||782679\nsp|||6120622b\n"},
      {2, "a|||31" + nul + "\nb|||782679" + nul + "\nsp|||6120622b" + nul +
              "\nblob|file4|application/octet-stream|00ff0d0a2d2d\nimg|" + file + "|image/png|" +
              HexOf(ReadFile(file)) + "\nnote|n.txt|text/x-custom|6869\n"},
  };
  for (size_t i = 0; i < cases.size(); i++) {
    EHTTPRequest r(url.c_str());
    r.AddParam("sp", "a b+");
    if (cases[i].kind == 2) {
      r.AddData("blob", "\x00\xff\r\n--", 6);
      ASSERT_EQ(r.AddFile("img", file.c_str()), 1);
      r.AddData("note", "hi", 2, "n.txt", "text/x-custom");
      EXPECT_EQ(r.AddFile("none", (dir + "/missing").c_str()), 0);
    }
    Client client;
    if (cases[i].kind == 0) {
      client.c.SendHTTPGet(&r);
    } else if (cases[i].kind == 1) {
      client.c.SendHTTPPost(&r);
    } else {
      EXPECT_EQ(client.c.SendHTTPPostMultipart(&r), 1);
    }
    ASSERT_TRUE(client.Wait()) << i;
    EXPECT_TRUE(client.requested);
    // What the server received is exactly the request text.
    EXPECT_EQ(ReadFile(dir + "/" + std::to_string(i) + ".req"), client.request) << i;
    EXPECT_EQ(ReadFile(dir + "/" + std::to_string(i) + ".txt"), cases[i].expect) << i;
    EHTTPRESPONSE_INFO info;
    ASSERT_EQ(client.stack.GetResponseInfo(&info), 1);
    EXPECT_EQ(info.status, 200);
    EXPECT_STREQ(info.contenttype, "text/plain");
    EXPECT_NE(info.server[0], 0);
    EXPECT_NE(info.date[0], 0);
    const std::string body = client.Body();
    EXPECT_EQ(info.contentlength, body.size());
    EXPECT_EQ(client.stack.Result(true), EHTTP_DONE);
    const char* method = cases[i].kind ? "POST" : "GET";
    EXPECT_EQ(body.substr(0, body.find(' ', 5)), std::string(method) + " /q/r") << body;
  }
  EXPECT_EQ(server.Wait(), 0);
}

TEST(Http, SlowAndBrokenServers) {
  if (!nt::HavePython()) GTEST_SKIP() << "python3 missing";
  struct Case {
    const char* mode;
    int result;
    uint16_t status;
    const char* body;
  } cases[] = {
      {"slow", EHTTP_DONE, 200, "hello world"},
      {"nolength", EHTTP_NOLENGTH, 404, "abc"},
      {"midheader", EHTTP_NOHEADER, 0, "<none>"},
      {"big", EHTTP_FULL, 200, nullptr},
      {"short", EHTTP_SHORT, 200, "0123456789"},
      {"long", EHTTP_DONE, 200, "0123456789"},       // the 30 bytes past the length are no body
      {"twolengths", EHTTP_MALFORMED, 200, ""},      // 10 or 40: neither is trusted
  };
  uint16_t port = nt::TestPort(11);
  for (const Case& k : cases) {
    const std::string dir = zt::TempDir(std::string("http_") + k.mode);
    nt::Child server(Script() + " raw " + std::to_string(port) + " " + dir + "/ready " + dir +
                     "/request " + k.mode);
    ASSERT_TRUE(WaitForFile(dir + "/ready"));
    Client client(16384);
    client.c.SendHTTPGet(("127.0.0.1:" + std::to_string(port) + "/slow?q=" + k.mode).c_str(), false);
    ASSERT_TRUE(client.Wait()) << k.mode;
    EXPECT_EQ(client.stack.Result(true), k.result) << k.mode;
    if (k.body) {
      EXPECT_EQ(client.Body(), k.body) << k.mode;
    }
    EXPECT_EQ(ReadFile(dir + "/request"), client.request);
    EHTTPRESPONSE_INFO info;
    if (client.stack.GetResponseInfo(&info)) {
      EXPECT_EQ(info.status, k.status) << k.mode;
      if (std::string(k.mode) == "slow") {
        EXPECT_STREQ(info.server, "slowpoke");
        EXPECT_STREQ(info.date, "");  // "X-Update:" is no date
      }
      if (std::string(k.mode) == "nolength") {
        EXPECT_STREQ(info.location, "/elsewhere");
      }
      if (std::string(k.mode) == "short") {
        EXPECT_TRUE(client.stack.Gzip());
      }
    }
    EXPECT_EQ(server.Wait(), 0) << k.mode;
    port++;
  }
}

// A raw server of http_peer.py that holds off reading until the test says go.
struct HeldServer {
  std::string dir, request;
  nt::Child child;
  HeldServer(const char* mode, uint16_t port)
      : dir(zt::TempDir(std::string("http_") + mode)),
        request(dir + "/request"),
        child(Script() + " raw " + std::to_string(port) + " " + dir + "/ready " + request + " " + mode) {}
  void Go() const { std::ofstream(request + ".go") << "go\n"; }
};

TEST(Http, UploadLargerThanTheSocketTakesGoesOutWhole) {
  if (!nt::HavePython()) GTEST_SKIP() << "python3 missing";
  // More than the system buffers for one unread socket (its send buffer grows
  // to the largest the system allows, the server's receive buffer is small),
  // so part of it must wait for the server.
  uint32_t largest = 4u << 20;
  std::ifstream("/proc/sys/net/ipv4/tcp_wmem") >> largest >> largest >> largest;
  if (largest > (32u << 20)) GTEST_SKIP() << "send buffers of " << largest << " bytes";
  const uint32_t size = largest + (1u << 20);
  struct Case {
    const char* mode;
    int result;
  } cases[] = {
      {"late", EHTTP_DONE},     // the server reads late, then everything
      {"reset", EHTTP_UNSENT},  // the server takes 64 KiB and resets
  };
  uint16_t port = nt::TestPort(20);
  for (const Case& k : cases) {
    HeldServer server(k.mode, port);
    ASSERT_TRUE(WaitForFile(server.dir + "/ready")) << k.mode;
    std::string blob(size, '\0');
    uint32_t x = 12345;
    for (char& b : blob) b = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    EHTTPRequest r(("http://127.0.0.1:" + std::to_string(port) + "/up").c_str());
    ASSERT_EQ(r.AddData("blob", blob.data(), size, "blob.bin"), 1);
    Client client;
    ASSERT_EQ(client.c.SendHTTPPostMultipart(&r), 1) << k.mode;
    // The server reads nothing yet: the tail waits, the connection stays up.
    for (int i = 0; i < 20; i++) client.c.CheckSockets(nullptr);
    EXPECT_GT(client.c.Unsent(0), 0u) << k.mode;
    EXPECT_FALSE(client.c.RequestSent()) << k.mode;
    EXPECT_FALSE(client.closed) << k.mode;
    EXPECT_EQ(client.stack.Result(false, client.c.RequestSent()), EHTTP_PENDING);
    server.Go();
    ASSERT_TRUE(client.Wait(60000)) << k.mode;
    EXPECT_EQ(client.stack.Result(true, client.c.RequestSent()), k.result) << k.mode;
    if (k.result == EHTTP_DONE) {
      EXPECT_TRUE(client.c.RequestSent());
      EXPECT_TRUE(ReadFile(server.request) == client.request) << "the server got another request";
      const std::string body = client.request.substr(client.request.find("\r\n\r\n") + 4);
      EXPECT_EQ(client.Body(), std::to_string(body.size()));
    }
    EXPECT_EQ(server.child.Wait(), 0) << k.mode;
    port++;
  }
}

TEST(Http, RequestThatCannotReachItsHostIsDropped) {
  // A request whose host cannot be looked up or connected is refused at once
  // and never goes out on a later connection, credentials and all.
  struct Case {
    const char* url;
  } cases[] = {
      {"http://no-such-host.invalid/secret"},
      {nullptr},  // 127.0.0.1 on a port where nobody listens
  };
  const uint16_t port = nt::TestPort(22);
  const std::string closedPort = "http://127.0.0.1:" + std::to_string(nt::TestPort(23)) + "/secret";
  for (const Case& k : cases) {
    const std::string url = k.url ? k.url : closedPort;
    const int listener = nt::Listen(port);
    ASSERT_GE(listener, 0);
    EHTTPRequest r(url.c_str());
    std::strcpy(r.user, "user");
    std::strcpy(r.password, "secret");
    Client client;
    EXPECT_EQ(client.c.SendHTTPGet(&r), 0) << url;
    EXPECT_FALSE(client.requested);
    EXPECT_FALSE(client.c.RequestSent());
    EXPECT_EQ(client.stack.Result(true, client.c.RequestSent()), EHTTP_UNSENT);
    // The same connection joins another host and sends one frame: that frame
    // is all the other host gets.
    ASSERT_EQ(client.c.SearchHost("127.0.0.1", port), 1);
    EXPECT_FALSE(client.requested);
    const int peer = accept(listener, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    const nt::Bytes mark{0x0B, 0x02, 0x04, 0x00};
    client.c.Send(mark.data(), 4, 0);
    const nt::Bytes frame = nt::Frame(mark);
    EXPECT_EQ(nt::ReadAtLeast(peer, frame.size()), frame) << url;
    close(peer);
    close(listener);
  }
}

}  // namespace

