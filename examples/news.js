// news.js - download a news feed with Wexlo.Downloader, turn it into an HTML
// page, and save a binary file next to it.
//
//   cscript //nologo news.js [server] [port] [output folder]
//
// The defaults are https://localhost, the scheme's own port and the current
// folder. A server written "https://name" is fetched over HTTPS (port 443
// unless a port is given); "http://name" or a bare name over plain HTTP (port
// 80 unless a port is given). The server's certificate must be valid for the
// name and trusted by the machine; there is no way around that check: a
// refused one gives RequestFile's result 116. The script waits
// for each download by polling Busy, which works in every script host;
// news_events.js is the same with event handlers, for a host that connects
// events and sleeps (the Windows Script Host).

var args = WScript.Arguments;
var server = args.length > 0 ? args(0) : "https://localhost";
var port = args.length > 1 ? args(1) : "";
var outDir = args.length > 2 ? args(2) : ".";

// Waits until the download has finished (Busy turns False), at most `seconds`.
function waitForDownload(d, seconds) {
  var deadline = new Date().getTime() + seconds * 1000;
  while (d.Busy) {
    if (new Date().getTime() > deadline) throw new Error("the download did not finish in " + seconds + " s");
  }
}

function say(text) { WScript.Echo(text); }

var d = null, status = 1;
try {
  d = new ActiveXObject("Wexlo.Downloader");

  // StartUp returns 0 when the socket library is ready; otherwise a message
  // number, with the text in its argument (VBScript sees the text; JScript
  // passes arguments by value and sees only the number).
  var rc = d.StartUp("");
  if (rc != 0) throw new Error("StartUp returned " + rc);
  say("Socket library started.");
  say("Online: " + d.Online + "; through a proxy: " + d.ProxyConnection + ".");

  // The port of every following request. Until it is written, plain
  // requests go to 80 and secure ones to 443.
  if (port != "") d.Port = port;

  // 1. The feed. RequestFile returns 0 once the request is on its way (for
  // HTTPS: once the secure connection is established and the certificate
  // accepted; 116 when it is refused).
  rc = d.RequestFile(server, "/feeds/garden.xml");
  if (rc == 116) throw new Error("the secure connection to " + server + " failed (116)");
  if (rc != 0) throw new Error("RequestFile of the feed returned " + rc);
  waitForDownload(d, 30);
  say("Downloaded the feed from " + server + (port != "" ? ":" + port : "") + ": " +
      d.CurSize + " bytes.");

  // FormatCurRSS(items, with descriptions) renders the feed as an HTML fragment.
  var fragment = d.FormatCurRSS(10, true);
  if (fragment == "") throw new Error("the feed rendered to nothing");
  var fso = new ActiveXObject("Scripting.FileSystemObject");
  var pagePath = outDir + "\\news.html";
  var page = fso.CreateTextFile(pagePath, true);
  page.WriteLine("<html><head><title>News</title>");
  page.WriteLine("<style>#T1 { color: #666; font-size: small } #T2 { display: block }</style>");
  page.WriteLine("</head><body>");
  page.WriteLine(fragment);
  page.WriteLine("</body></html>");
  page.Close();
  say("Rendered the feed into " + pagePath + ".");

  // 2. A binary file, saved byte for byte. WriteBinaryFile returns 0 when
  // written, 1 when the file exists and may not be replaced, 2 when there was
  // nothing to save, 3 when the file could not be written.
  rc = d.RequestFile(server, "/files/sample.bin");
  if (rc != 0) throw new Error("RequestFile of the binary returned " + rc);
  waitForDownload(d, 30);
  var binPath = outDir + "\\sample.bin";
  rc = d.WriteBinaryFile(binPath, true);
  if (rc != 0) throw new Error("WriteBinaryFile returned " + rc);
  say("Saved " + d.CurSize + " bytes to " + binPath + ".");

  d.ShutDown();
  say("Socket library stopped.");
  status = 0;
} catch (e) {
  WScript.Echo("news.js failed: " + e.message);
}
// Wine's cscript ends at WScript.Quit without releasing what the script
// holds, which would leave Wexlo.exe running: the object is let go of first.
d = null;
WScript.Quit(status);
