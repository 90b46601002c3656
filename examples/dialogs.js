// dialogs.js - ask where to save a download and which colour its page gets.
//
//   cscript //nologo dialogs.js [server] [port]
//
// Needs a display: Velmora.Browser shows the platform's Save As and Colour
// dialogs and waits for the user. Cancelling either dialog ends the script.

var args = WScript.Arguments;
var server = args.length > 0 ? args(0) : "127.0.0.1";
var port = args.length > 1 ? args(1) : "80";

try {
  var browser = new ActiveXObject("Velmora.Browser");
  var d = new ActiveXObject("Wexlo.Downloader");

  // Where to save: "" means the user cancelled. A name typed without an
  // extension comes back with ".txt".
  var target = browser.SaveBox();
  if (target == "") { WScript.Echo("No file chosen."); WScript.Quit(0); }

  // The page colour as six hexadecimal digits, red first ("0080FF"); "" for
  // a cancelled dialog (and for black, which gives the same value).
  var colour = browser.ColorBoxHex();
  if (colour == "") colour = "FFFFFF";

  d.StartUp("");
  d.Port = port;
  if (d.RequestFile(server, "/feeds/garden.xml") != 0) throw new Error("the request was refused");
  var deadline = new Date().getTime() + 30000;
  while (d.Busy) { if (new Date().getTime() > deadline) throw new Error("no answer in 30 s"); }

  var fso = new ActiveXObject("Scripting.FileSystemObject");
  var page = fso.CreateTextFile(target, true);
  page.WriteLine("<html><body style=\"background: #" + colour + "\">");
  page.WriteLine(d.FormatCurRSS(10, true));
  page.WriteLine("</body></html>");
  page.Close();
  d.ShutDown();
  WScript.Echo("Saved the news page to " + target + " with background #" + colour + ".");
  WScript.Quit(0);
} catch (e) {
  WScript.Echo("dialogs.js failed: " + e.message);
  WScript.Quit(1);
}
