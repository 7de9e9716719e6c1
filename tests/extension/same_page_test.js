// The extension's rule for "this tab already shows that link", run by Node
// against the extension's own file.
const assert = require("node:assert/strict");
const { samePage } = require("../../resources/extension/same_page.js");

const cases = [
  // tab address, link, same page?
  ["https://example.com/a?b=1", "https://example.com/a?b=1", true],
  ["https://example.com/a?b=1#top", "https://example.com/a?b=1", true],
  ["https://example.com/a", "https://example.com/a#section-2", true],
  ["https://example.com/a#one", "https://example.com/a#two", true],
  ["https://example.com/", "https://EXAMPLE.com:443/", true],
  ["https://example.com/a%20b", "https://example.com/a b", true],
  ["https://example.com/a", "https://example.com/a/", false],
  ["https://example.com/a?b=1", "https://example.com/a?b=2", false],
  ["https://example.com/a?b=1", "https://example.com/a", false],
  ["http://example.com/a", "https://example.com/a", false],
  ["https://example.com:8443/a", "https://example.com/a", false],
  ["https://www.example.com/a", "https://example.com/a", false],
  ["chrome://newtab/", "https://example.com/", false],
  ["", "https://example.com/", false],
  ["https://example.com/", "not a link", false],
];

let failures = 0;
for (const [tab, link, expected] of cases) {
  try {
    assert.equal(samePage(tab, link), expected);
  } catch (e) {
    failures++;
    console.error(`samePage(${JSON.stringify(tab)}, ${JSON.stringify(link)}) should be ${expected}`);
  }
}
if (failures > 0) {
  process.exit(1);
}
console.log(`${cases.length} cases`);
