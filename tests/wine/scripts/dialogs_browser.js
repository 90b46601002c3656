// Velmora.Browser from a script, without showing a dialog: the object is
// created by its ProgID and its Browser string keeps what is written to it.

function main() {
  var browser = new ActiveXObject("Velmora.Browser");
  check(browser.Browser === "", "a new object's Browser: " + browser.Browser);
  browser.Browser = "abc";
  check(browser.Browser === "abc", "Browser after writing abc: " + browser.Browser);
  var other = new ActiveXObject("Velmora.Browser");
  check(other.Browser === "", "a second object's own Browser: " + other.Browser);
  check(browser.Browser === "abc", "the first object keeps its text: " + browser.Browser);
  browser.Browser = "";
  check(browser.Browser === "", "Browser after writing the empty string: " + browser.Browser);
  return failures;
}

finish(main);
