// news_events.js - news.js with event handlers: the host connects the
// Downloader's events to the functions named dl_OnConnect, dl_OnDisconnect
// and dl_OnDownloadFinish, and the script sleeps between looks at Busy
// instead of asking the server over and over.
//
//   cscript //nologo news_events.js [server] [port] [output folder]
//
// The arguments are those of news.js. It needs a host that connects events
// and sleeps (the Windows Script Host's WScript.CreateObject with a prefix
// and WScript.Sleep); in a host that cannot, it says so: use news.js there.

var args = WScript.Arguments;
var server = args.length > 0 ? args(0) : "https://localhost";
var port = args.length > 1 ? args(1) : "";
var outDir = args.length > 2 ? args(2) : ".";

function say(text) { WScript.Echo(text); }

// What the last download's OnDownloadFinish reported; null until it came.
var finish = null;

function dl_OnConnect(ServerURL) { say("Connected to " + ServerURL + "."); }
function dl_OnDisconnect() { say("Disconnected."); }
function dl_OnDownloadFinish(ResponseCode, ResponseString) {
  finish = { code: ResponseCode, text: ResponseString };
  say("Finished: " + ResponseCode + " " + ResponseString + ".");
}

// Sleeps until the download has finished (Busy turns False once the
// OnDownloadFinish handlers have returned), at most `seconds`; the host
// delivers the events while the script sleeps. Throws unless the server
// answered 200.
function waitForDownload(d, seconds) {
  var deadline = new Date().getTime() + seconds * 1000;
  while (d.Busy) {
    if (new Date().getTime() > deadline) throw new Error("the download did not finish in " + seconds + " s");
    WScript.Sleep(50);
  }
  if (finish === null) throw new Error("the download ended without OnDownloadFinish");
  if (finish.code != 200) throw new Error("the server answered " + finish.code + " " + finish.text);
}

// Starts a download; the next finish is its own.
function request(d, path) {
  finish = null;
  var rc = d.RequestFile(server, path);
  if (rc == 116) throw new Error("the secure connection to " + server + " failed (116)");
  if (rc != 0) throw new Error("RequestFile of " + path + " returned " + rc);
}

var d = null, status = 1;
try {
  try {
    d = WScript.CreateObject("Wexlo.Downloader", "dl_");
  } catch (e) {
    // Wine's cscript, for one, creates objects but connects no events.
    say("This script host cannot connect events (error 0x" + (e.number >>> 0).toString(16) +
        "); use news.js.");
    WScript.Quit(2);
  }

  var rc = d.StartUp("");
  if (rc != 0) throw new Error("StartUp returned " + rc);
  if (port != "") d.Port = port;

  // 1. The feed, rendered into a page.
  request(d, "/feeds/garden.xml");
  waitForDownload(d, 30);
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
  say("Rendered the feed (" + d.CurSize + " bytes) into " + pagePath + ".");

  // 2. A binary file, saved byte for byte.
  request(d, "/files/sample.bin");
  waitForDownload(d, 30);
  var binPath = outDir + "\\sample.bin";
  rc = d.WriteBinaryFile(binPath, true);
  if (rc != 0) throw new Error("WriteBinaryFile returned " + rc);
  say("Saved " + d.CurSize + " bytes to " + binPath + ".");

  d.ShutDown();
  status = 0;
} catch (e) {
  WScript.Echo("news_events.js failed: " + e.message);
}
// Wine's cscript ends at WScript.Quit without releasing what the script
// holds, which would leave Wexlo.exe running: the object is let go of first.
d = null;
WScript.Quit(status);
