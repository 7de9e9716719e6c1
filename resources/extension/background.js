// Two roles. The link menu hands a link to Corvane through its own link form.
// And while Corvane runs, a native-messaging port to Corvane's small host lets
// Corvane ask this profile for a tab that already shows a link and switch to
// it, instead of opening the link again. Nothing leaves the machine.
if (typeof samePage === "undefined") {
  importScripts("same_page.js"); // the service worker; background scripts have it already
}

const MENU_ID = "route-with-corvane";
const HOST = "io.github.corvane.tabs";
const api = typeof browser !== "undefined" ? browser : chrome;

api.runtime.onInstalled.addListener(() => {
  api.contextMenus.create({
    id: MENU_ID,
    title: "Route with Corvane",
    contexts: ["link"],
    targetUrlPatterns: ["http://*/*", "https://*/*"],
  });
});

api.contextMenus.onClicked.addListener((info, tab) => {
  if (info.menuItemId !== MENU_ID || !info.linkUrl) {
    return;
  }
  const target = "corvane://open?url=" + encodeURIComponent(info.linkUrl);
  // Navigating the current tab to an external scheme leaves its page in
  // place; a new tab would stay behind empty.
  if (tab && tab.id !== undefined && tab.id >= 0) {
    api.tabs.update(tab.id, { url: target });
  } else {
    api.tabs.create({ url: target });
  }
});

// This profile's mark, made once and kept in its own extension storage, where
// Corvane's host finds it and so learns which profile this port speaks for.
async function profileToken() {
  const stored = await api.storage.local.get("profileToken");
  if (typeof stored.profileToken === "string" && stored.profileToken.length > 0) {
    return stored.profileToken;
  }
  const token = "corvane-profile-" + crypto.randomUUID();
  await api.storage.local.set({ profileToken: token });
  return token;
}

// The open tab that shows `url`, the most recently used first.
async function openTabOf(url) {
  const tabs = await api.tabs.query({});
  const matching = tabs.filter((tab) => tab.url && samePage(tab.url, url));
  matching.sort((a, b) => (b.lastAccessed || 0) - (a.lastAccessed || 0));
  return matching[0];
}

// Switches only when Corvane is still waiting for the answer: `within`
// milliseconds after the question came. Later, Corvane has opened the link
// itself, and a switch too would show the page twice.
async function answerFind(port, message) {
  const asked = Date.now();
  let switched = false;
  try {
    const tab = await openTabOf(message.url);
    if (tab && Date.now() - asked <= message.within) {
      await api.tabs.update(tab.id, { active: true });
      await api.windows.update(tab.windowId, { focused: true });
      switched = true;
    }
  } catch (e) {
    switched = false;
  }
  port.postMessage({ type: "found", id: message.id, switched });
}

let retryMs = 1000;

async function connect() {
  const token = await profileToken();
  const port = api.runtime.connectNative(HOST);
  const opened = Date.now();
  port.onMessage.addListener((message) => {
    if (message && message.type === "find" && typeof message.url === "string" &&
        Number.isInteger(message.id) && Number.isInteger(message.within)) {
      answerFind(port, message);
    }
  });
  // The host ends when Corvane quits, and waits for it when it is not running
  // yet; come back with a new one, sooner when the last one lived a while.
  port.onDisconnect.addListener(() => {
    retryMs = Date.now() - opened > 10000 ? 1000 : Math.min(retryMs * 2, 60000);
    setTimeout(connect, retryMs);
  });
  port.postMessage({ type: "hello", token });
}

connect();
