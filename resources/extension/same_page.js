// Whether a tab's address shows the same page as a link: the same address
// once both are in the browser's own form, whatever their fragments say.
// "https://Example.com:443/a?b#top" and "https://example.com/a?b" are one page;
// another path, query, scheme or port is another page.
function samePage(tabUrl, link) {
  try {
    const a = new URL(tabUrl);
    const b = new URL(link);
    a.hash = "";
    b.hash = "";
    return a.href === b.href;
  } catch (e) {
    return false; // an address that does not parse shows no page of ours
  }
}

if (typeof module !== "undefined") {
  module.exports = { samePage };
}
