// Creates both components as a script of the user would after install.cmd
// and touches one member of each; exits 0 when both answer.
try {
  var downloader = new ActiveXObject("Wexlo.Downloader");
  var online = downloader.Online;
  var browser = new ActiveXObject("Velmora.Browser");
  browser.Browser = "installed";
  if (browser.Browser != "installed") throw new Error("Browser property did not keep its value");
  WScript.Echo("online:" + online);
  WScript.Quit(0);
} catch (e) {
  WScript.Echo("error:" + e.message + " (" + e.number + ")");
  WScript.Quit(1);
}
