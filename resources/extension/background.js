// Hands a link to Corvane through its own link form. The browser passes the
// corvane: link to the desktop, which starts (or reaches) Corvane with it.
const MENU_ID = "route-with-corvane";

chrome.runtime.onInstalled.addListener(() => {
  chrome.contextMenus.create({
    id: MENU_ID,
    title: "Route with Corvane",
    contexts: ["link"],
    targetUrlPatterns: ["http://*/*", "https://*/*"],
  });
});

chrome.contextMenus.onClicked.addListener((info, tab) => {
  if (info.menuItemId !== MENU_ID || !info.linkUrl) {
    return;
  }
  const target = "corvane://open?url=" + encodeURIComponent(info.linkUrl);
  // Navigating the current tab to an external scheme leaves its page in
  // place; a new tab would stay behind empty.
  if (tab && tab.id !== undefined && tab.id >= 0) {
    chrome.tabs.update(tab.id, { url: target });
  } else {
    chrome.tabs.create({ url: target });
  }
});
